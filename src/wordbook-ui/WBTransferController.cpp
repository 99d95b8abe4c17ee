#include "wordbook-ui/WBTransferController.h"

#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThreadPool>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A word book file is a few megabytes at most; anything far larger is not one.
constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;
constexpr qint64 kReadPiece = 1 << 20;

struct FileRead {
    QStringList errors;  // the file's first bad rows, "第 N 行：…"
    qsizetype errorCount = 0;  // its bad rows in all
    QByteArray bytes;    // the file as read, parsed again as it is stored
    qsizetype words = 0;
    QString refusal;  // the user's message when the file was not read
};

// Runs on a pool thread: a large file takes seconds to read and check. The
// bytes are checked as they come and kept, bounded by the limit, while the
// words they hold are counted and let go: a million words as records take
// several times the file's size. The limit counts the bytes read, since the
// size a pipe or a device states means nothing. Nothing blocks for long: a
// FIFO is opened without waiting for its writer and then waited on in short
// steps, so a controller that goes (the application quitting) ends the
// reading.
FileRead readCsvFile(const QString& path, const std::atomic_bool& gone,
                     const std::function<void(qint64, qint64)>& progress)
{
    auto unreadable = [&](int error) {
        return FileRead{{}, 0, {}, 0, QStringLiteral("导入失败：无法读取 %1（%2）").arg(QDir::toNativeSeparators(path), qt_error_string(error))};
    };
    const FileRead tooLarge{{}, 0, {}, 0, QStringLiteral("导入失败：文件太大，不像是单词本文件")};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errno);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return unreadable(errno);
    if (S_ISDIR(st.st_mode))
        return unreadable(EISDIR);
    const qint64 total = S_ISREG(st.st_mode) ? qint64(st.st_size) : -1;
    if (total > kMaxImportBytes)
        return tooLarge;
    // A FIFO reads as ended until its writer has come: wait for it first.
    bool waitFirst = S_ISFIFO(st.st_mode);
    wordbooktransfer::CsvParser parser;
    QByteArray piece(kReadPiece, Qt::Uninitialized);
    qint64 done = 0;
    FileRead read;
    if (total > 0)
        read.bytes.reserve(total);
    while (!gone) {
        if (waitFirst) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 200);
            if (ready < 0 && errno != EINTR)
                return unreadable(errno);
            if (ready <= 0)
                continue;
            waitFirst = false;
        }
        const ssize_t n = ::read(fd, piece.data(), size_t(kReadPiece));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            waitFirst = true;
            continue;
        }
        if (n < 0)
            return unreadable(errno);
        if (n == 0) {
            wordbooktransfer::CsvRead rest = parser.finish();
            read.words += rest.records.size();
            read.errors = std::move(rest.errors);
            read.errorCount = rest.errorCount;
            if (read.errorCount > 0)
                read.bytes.clear();
            read.bytes.squeeze();
            return read;
        }
        done += n;
        if (done > kMaxImportBytes)
            return tooLarge;
        parser.feed(QByteArrayView(piece.constData(), n));
        read.words += parser.takeRecords().size();
        read.bytes.append(piece.constData(), n);
        progress(done, total);
    }
    return {};
}
}  // namespace

WBTransferController::WBTransferController(WordBookViewController* screen) : QObject(screen), screen_(screen) {}

WBTransferController::~WBTransferController()
{
    *gone_ = true;
}

void WBTransferController::showProgress(qint64 bytesRead, qint64 totalBytes)
{
    emit importProgress(bytesRead, totalBytes);
    if (!progress_) {
        progress_ = new QProgressDialog(screen_->window());
        progress_->setAttribute(Qt::WA_DeleteOnClose);
        progress_->setWindowTitle(QStringLiteral("导入单词本"));
        progress_->setCancelButton(nullptr);
        // Not modal: a modal one runs the event loop inside setValue.
        progress_->setWindowModality(Qt::NonModal);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumDuration(400);  // a small file comes and goes unseen
    }
    if (bytesRead < 0) {
        progress_->setLabelText(QStringLiteral("正在写入单词本…"));
        progress_->setRange(0, 0);
    } else if (totalBytes <= 0) {
        progress_->setLabelText(QStringLiteral("正在读取文件…"));
        progress_->setRange(0, 0);
    } else {
        progress_->setLabelText(QStringLiteral("正在读取文件…"));
        progress_->setRange(0, 1000);
        progress_->setValue(int(bytesRead * 1000 / totalBytes));
    }
}

void WBTransferController::endProgress()
{
    if (progress_)
        progress_->close();
}

void WBTransferController::tell(const QString& message, bool failure)
{
    if (!failure) {
        MVHUDWndController::sharedInstance().showHUDWithMessage(message, 1.5);
        return;
    }
    MVAlertWndController& alert = MVAlertWndController::sharedInstance();
    alert.setTitle(QStringLiteral("提示"));
    alert.setShowLeftButton(true);
    alert.setShowRightButton(false);
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setMessage(message);
    alert.setRightButtonAction([] { MVAlertWndController::sharedInstance().hideWindow(); });
    alert.showWindow();
}

void WBTransferController::exportToFile(const QString& path, const QString& group, Format format)
{
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    showExportWait(cancelled);
    // Read on the store's queue: another program may hold the book for as
    // long as it likes, and the window must not wait with it.
    screen_->book().readExport(group, this, cancelled,
                               [this, path, format, cancelled](std::optional<QList<WordBookRecord>> records) {
                                   exportRead(std::move(records), path, format, cancelled);
                               });
}

void WBTransferController::endExportWait()
{
    // A progress dialog that closes says it was cancelled: not this time.
    if (!exportProgress_)
        return;
    exportProgress_->disconnect(this);
    exportProgress_->close();
}

void WBTransferController::showExportWait(const std::shared_ptr<std::atomic_bool>& cancelled)
{
    endExportWait();
    exportProgress_ = new QProgressDialog(screen_->window());
    exportProgress_->setAttribute(Qt::WA_DeleteOnClose);
    exportProgress_->setWindowTitle(QStringLiteral("导出单词本"));
    exportProgress_->setLabelText(QStringLiteral("正在读取单词本…"));
    exportProgress_->setCancelButtonText(QStringLiteral("取消"));
    exportProgress_->setRange(0, 0);
    exportProgress_->setWindowModality(Qt::NonModal);
    exportProgress_->setAutoClose(false);
    exportProgress_->setAutoReset(false);
    exportProgress_->setMinimumDuration(400);  // a book that answers at once shows none
    connect(exportProgress_, &QProgressDialog::canceled, this, [this, cancelled] {
        // Nothing is written after this, and a file at the path stays as it was.
        *cancelled = true;
        endExportWait();
        emit exportFinished(false, QString());
    });
}

void WBTransferController::exportRead(std::optional<QList<WordBookRecord>> records, const QString& path,
                                      Format format, const std::shared_ptr<std::atomic_bool>& cancelled)
{
    if (*cancelled)
        return;
    if (!records)
        return exportWritten(0, QStringLiteral("导出失败：无法读取单词本，没有写入文件"));
    if (exportProgress_)
        exportProgress_->setLabelText(QStringLiteral("正在写入文件…"));
    // Formatted and written off the main thread: a large book on a slow
    // disk takes seconds.
    auto words = std::make_shared<QList<WordBookRecord>>(std::move(*records));
    QPointer<WBTransferController> self(this);
    QThreadPool::globalInstance()->start([self, words, path, format, cancelled] {
        const QByteArray bytes = format == Format::Csv ? wordbooktransfer::toCsv(*words) : wordbooktransfer::toAnki(*words);
        QSaveFile out(path);
        QString error;
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            error = out.errorString();
        // Cancelled meanwhile: the new file is dropped, not put in place.
        if (error.isNull() && !*cancelled && !out.commit())
            error = out.errorString();
        if (!error.isNull())
            error = QStringLiteral("导出失败：无法写入 %1（%2）").arg(QDir::toNativeSeparators(path), error);
        const qsizetype count = words->size();
        QMetaObject::invokeMethod(
            qApp, [self, count, error, cancelled] {
                if (self && !*cancelled)
                    self->exportWritten(count, error);
            },
            Qt::QueuedConnection);
    });
}

void WBTransferController::exportWritten(qsizetype words, const QString& error)
{
    endExportWait();
    const QString message = error.isNull() ? QStringLiteral("已导出 %1 个单词").arg(words) : error;
    tell(message, !error.isNull());
    emit exportFinished(error.isNull(), message);
}

void WBTransferController::importFromFile(const QString& path)
{
    QPointer<WBTransferController> self(this);
    // Back on the main thread through the application object, which
    // outlives any controller; a controller gone by then is simply skipped.
    auto onMain = [self](auto call) {
        QMetaObject::invokeMethod(
            qApp, [self, call] {
                if (self)
                    call(self.data());
            },
            Qt::QueuedConnection);
    };
    showProgress(0, 0);
    QThreadPool::globalInstance()->start([path, gone = gone_, onMain] {
        int shown = -1;
        qint64 lastUnknown = 0;
        FileRead read = readCsvFile(path, *gone, [&](qint64 done, qint64 total) {
            // A few hundred updates at most, whatever the file's size.
            const int now = total > 0 ? int(done * 200 / total) : -1;
            if (total > 0 ? now == shown : done - lastUnknown < 8 * kReadPiece)
                return;
            shown = now;
            lastUnknown = done;
            onMain([done, total](WBTransferController* c) { c->showProgress(done, total); });
        });
        if (*gone)
            return;
        auto shared = std::make_shared<FileRead>(std::move(read));
        onMain([shared](WBTransferController* c) {
            c->importRead(shared->errors, shared->errorCount, std::move(shared->bytes), shared->words,
                          shared->refusal);
        });
    });
}

void WBTransferController::importRead(const QStringList& errors, qsizetype errorCount, QByteArray csv,
                                      qsizetype words, const QString& refusal)
{
    auto refuse = [this](const QString& message) {
        endProgress();
        tell(message, true);
        emit importFinished(false, message);
    };
    if (!refusal.isNull())
        return refuse(refusal);
    if (errorCount > 0) {
        QStringList shown = errors.mid(0, wordbooktransfer::CsvRead::kErrorsKept);
        if (errorCount > shown.size())
            shown << QStringLiteral("……还有 %1 处").arg(errorCount - shown.size());
        return refuse(QStringLiteral("文件有误，没有导入任何单词：\n") + shown.join(u'\n'));
    }
    if (words == 0)
        return refuse(QStringLiteral("文件里没有单词，没有导入任何单词"));
    showProgress(-1, -1);
    QPointer<WordBookViewController> screen(screen_);
    screen_->book().importCsv(std::move(csv), this, [this, screen](const WordBookImportOutcome& outcome) {
        endProgress();
        if (!outcome.ok) {
            const QString message = QStringLiteral("导入失败：单词本无法写入，没有导入任何单词");
            tell(message, true);
            emit importFinished(false, message);
            return;
        }
        QString message = QStringLiteral("已导入 %1 个单词").arg(outcome.added);
        if (outcome.alreadyStored > 0)
            message += QStringLiteral("，%1 个已在单词本中，保持不变").arg(outcome.alreadyStored);
        tell(message, false);
        // Finished once the list shows the new words.
        if (!screen) {
            emit importFinished(true, message);
            return;
        }
        screen->showStoredList([this, message] { emit importFinished(true, message); });
    });
}

void WBTransferController::exportAction()
{
    // Window-modal and answered through signals: no nested event loop.
    auto* dialog = new QDialog(screen_->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowTitle(QStringLiteral("导出单词本"));
    auto* form = new QFormLayout(dialog);
    auto* scope = new QComboBox(dialog);
    scope->addItem(MVWordBook::kAllWords);
    scope->addItems(screen_->groupList());
    // The group on screen is the likely choice.
    const int current = scope->findText(screen_->curCategory());
    if (current >= 0)
        scope->setCurrentIndex(current);
    auto* format = new QComboBox(dialog);
    format->addItem(QStringLiteral("CSV 表格（.csv）"));
    format->addItem(QStringLiteral("Anki 文本导入（.txt）"));
    form->addRow(QStringLiteral("范围："), scope);
    form->addRow(QStringLiteral("格式："), format);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("导出…"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    form->addRow(buttons);
    connect(dialog, &QDialog::accepted, this, [this, scope, format] {
        const Format chosen = format->currentIndex() == 0 ? Format::Csv : Format::Anki;
        const QString group = scope->currentText();
        auto* save = new QFileDialog(screen_->window(), QStringLiteral("导出单词本"),
                                     QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                     chosen == Format::Csv ? QStringLiteral("CSV 文件 (*.csv)")
                                                           : QStringLiteral("文本文件 (*.txt)"));
        save->setAttribute(Qt::WA_DeleteOnClose);
        save->setAcceptMode(QFileDialog::AcceptSave);
        save->setDefaultSuffix(chosen == Format::Csv ? QStringLiteral("csv") : QStringLiteral("txt"));
        save->selectFile(QStringLiteral("单词本-%1").arg(group));
        connect(save, &QFileDialog::fileSelected, this,
                [this, group, chosen](const QString& path) { exportToFile(path, group, chosen); });
        save->open();
    });
    dialog->open();
}

void WBTransferController::importAction()
{
    auto* open = new QFileDialog(screen_->window(), QStringLiteral("导入单词本"),
                                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                                 QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)"));
    open->setAttribute(Qt::WA_DeleteOnClose);
    open->setFileMode(QFileDialog::ExistingFile);
    connect(open, &QFileDialog::fileSelected, this, &WBTransferController::importFromFile);
    open->open();
}
