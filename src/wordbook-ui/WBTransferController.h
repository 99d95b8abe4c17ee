#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "wordbook/WordBookTransfer.h"

#include <atomic>
#include <memory>
#include <optional>

class QProgressDialog;

class WordBookViewController;

// The word book's 导出 / 导入 entries: all words or one group to a CSV file
// or an Anki note list, and a CSV merged into the book. The dialogs only
// collect a choice; exportToFile and importFromFile do the work and tell the
// user what happened once it has.
class WBTransferController : public QObject {
    Q_OBJECT
public:
    enum class Format { Csv, Anki };

    explicit WBTransferController(WordBookViewController* screen);
    ~WBTransferController() override;

    void exportAction();
    void importAction();

    // Writes the group's words (all for an empty name or 所有单词) once the
    // store has read them: while another program holds the book the wait
    // is shown and can be cancelled. Told (and exportFinished emitted) once
    // the file is written or was not; a file already at `path` stays as it
    // was unless the new one is written whole.
    void exportToFile(const QString& path, const QString& group, Format format);
    // Reads and checks the whole file first, off the main thread and with
    // its progress shown: a file with any bad row adds nothing. The outcome
    // is shown (and importFinished emitted) once the book has written it, or
    // refused it.
    void importFromFile(const QString& path);

Q_SIGNALS:
    // bytesRead of totalBytes (-1: a pipe or a device, size unknown).
    void importProgress(qint64 bytesRead, qint64 totalBytes);
    // ok: the words are in the book; message: what the user was told.
    void importFinished(bool ok, const QString& message);
    // ok: the file holds the words; message: what the user was told (empty
    // when the user cancelled).
    void exportFinished(bool ok, const QString& message);

private:
    void tell(const QString& message, bool failure);
    void showProgress(qint64 bytesRead, qint64 totalBytes);
    void endProgress();
    void endExportWait();
    void showExportWait(const std::shared_ptr<std::atomic_bool>& cancelled);
    void exportRead(std::optional<QList<WordBookRecord>> records, const QString& path, Format format,
                    const std::shared_ptr<std::atomic_bool>& cancelled);
    void exportWritten(qsizetype words, const QString& error);
    // The file read and checked: refused, or handed to the store.
    void importRead(const QStringList& errors, qsizetype errorCount, QByteArray csv, qsizetype words,
                    const QString& refusal);

    WordBookViewController* screen_;
    QPointer<QProgressDialog> progress_;
    QPointer<QProgressDialog> exportProgress_;
    // Tells a reading still under way that nobody waits for it any more.
    std::shared_ptr<std::atomic_bool> gone_ = std::make_shared<std::atomic_bool>(false);
};
