#pragma once

#include <QObject>
#include <QString>

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

    void exportAction();
    void importAction();

    // Writes the group's words (all for an empty name or 所有单词); the
    // user's message on failure, else a null string.
    QString exportToFile(const QString& path, const QString& group, Format format);
    // Reads and checks the whole file first: a file with any bad row adds
    // nothing. The outcome is shown (and importFinished emitted) once the
    // book has written it, or refused it.
    void importFromFile(const QString& path);

Q_SIGNALS:
    // ok: the words are in the book; message: what the user was told.
    void importFinished(bool ok, const QString& message);

private:
    void tell(const QString& message, bool failure);

    WordBookViewController* screen_;
};
