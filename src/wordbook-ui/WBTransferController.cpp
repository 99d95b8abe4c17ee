#include "wordbook-ui/WBTransferController.h"

#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
// A word book file is a few megabytes at most; anything far larger is not one.
constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;
constexpr int kErrorsShown = 8;
}  // namespace

WBTransferController::WBTransferController(WordBookViewController* screen) : QObject(screen), screen_(screen) {}

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

QString WBTransferController::exportToFile(const QString& path, const QString& group, Format format)
{
    const QList<WordBookRecord> records = screen_->book().exportWords(group);
    const QByteArray bytes =
        format == Format::Csv ? wordbooktransfer::toCsv(records) : wordbooktransfer::toAnki(records);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return QStringLiteral("导出失败：无法写入 %1（%2）").arg(QDir::toNativeSeparators(path), out.errorString());
    tell(QStringLiteral("已导出 %1 个单词").arg(records.size()), false);
    return QString();
}

void WBTransferController::importFromFile(const QString& path)
{
    auto refuse = [this](const QString& message) {
        tell(message, true);
        emit importFinished(false, message);
    };
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("导入失败：无法读取 %1（%2）").arg(QDir::toNativeSeparators(path), in.errorString()));
    if (in.size() > kMaxImportBytes)
        return refuse(QStringLiteral("导入失败：文件太大，不像是单词本文件"));
    const wordbooktransfer::CsvRead read = wordbooktransfer::fromCsv(in.readAll());
    if (!read.errors.isEmpty()) {
        QStringList shown = read.errors.mid(0, kErrorsShown);
        if (read.errors.size() > kErrorsShown)
            shown << QStringLiteral("……还有 %1 处").arg(read.errors.size() - kErrorsShown);
        return refuse(QStringLiteral("文件有误，没有导入任何单词：\n") + shown.join(u'\n'));
    }
    if (read.records.isEmpty())
        return refuse(QStringLiteral("文件里没有单词，没有导入任何单词"));
    QPointer<WordBookViewController> screen(screen_);
    screen_->book().importWords(read.records, this, [this, screen](const WordBookImportOutcome& outcome) {
        if (!outcome.ok) {
            const QString message = QStringLiteral("导入失败：单词本无法写入，没有导入任何单词");
            tell(message, true);
            emit importFinished(false, message);
            return;
        }
        if (screen)
            screen->loadWordListWithCategory(screen->curCategory(), screen->isSortedByDate());
        QString message = QStringLiteral("已导入 %1 个单词").arg(outcome.added);
        if (outcome.alreadyStored > 0)
            message += QStringLiteral("，%1 个已在单词本中，保持不变").arg(outcome.alreadyStored);
        tell(message, false);
        emit importFinished(true, message);
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
        connect(save, &QFileDialog::fileSelected, this, [this, group, chosen](const QString& path) {
            const QString error = exportToFile(path, group, chosen);
            if (!error.isNull())
                tell(error, true);
        });
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
