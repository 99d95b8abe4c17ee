#include "wordbook-ui/CreateGroupPanelController.h"

#include "query/MVDictHistory.h"
#include "wordbook-ui/WordBookShell.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString groupNameProblem(const QString& name)
{
    if (name.isEmpty())
        return QString();
    if (name.contains(QLatin1Char(';')))
        return QStringLiteral("分组名不能包含“;”");
    if (name == MVWordBook::kNoGroup || name == MVWordBook::kAllWords)
        return QStringLiteral("“%1”是保留的名称，请换一个").arg(name);
    return QString();
}

GroupNameWindow::GroupNameWindow(const QString& title, const QString& placeholder, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedWidth(300);
    auto* layout = new QVBoxLayout(this);
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(placeholder);
    field_->setMaxLength(64);
    hint_ = new QLabel(this);
    hint_->setTextFormat(Qt::PlainText);
    hint_->setStyleSheet(QStringLiteral("color:#bd4140; font-size:11px;"));
    auto* buttons = new QHBoxLayout;
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    save_ = new QPushButton(QStringLiteral("保存"), this);
    save_->setEnabled(false);
    save_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(save_);
    layout->addWidget(field_);
    layout->addWidget(hint_);
    layout->addLayout(buttons);
    connect(field_, &QLineEdit::textChanged, this, &GroupNameWindow::nameChanged);
    // Return saves only a name that may be saved.
    connect(field_, &QLineEdit::returnPressed, this, [this] {
        if (save_->isEnabled())
            emit saveRequested();
    });
    connect(save_, &QPushButton::clicked, this, &GroupNameWindow::saveRequested);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void GroupNameWindow::nameChanged()
{
    const QString name = field_->text();
    const QString problem = groupNameProblem(name);
    hint_->setText(problem);
    save_->setEnabled(!name.isEmpty() && problem.isEmpty());
}

void GroupNameWindow::openOver(const QWidget* over)
{
    field_->clear();
    nameChanged();
    if (over)
        move(over->geometry().center() - QPoint(width() / 2, sizeHint().height() / 2));
    show();
    raise();
    activateWindow();
    field_->setFocus();
}

CreateGroupPanelController::CreateGroupPanelController(WordBookViewController* screen)
    : QObject(screen), screen_(screen)
{
    window_ = new GroupNameWindow(QStringLiteral("新建分组"), QStringLiteral("分组名称"));
    connect(window_, &GroupNameWindow::saveRequested, this, &CreateGroupPanelController::saveAction);
}

CreateGroupPanelController::~CreateGroupPanelController()
{
    delete window_;
}

void CreateGroupPanelController::openWith(const QVector<WordBookRowEntry>& entries)
{
    wordDictArray_ = entries;
    window_->openOver(screen_->shell() ? screen_->shell()->window() : nullptr);
}

void CreateGroupPanelController::createNewGroupAction()
{
    openWith({});
}

void CreateGroupPanelController::createNewGroupAndAddTagToWord(const WordBookRowEntry& entry)
{
    if (entry.word.isEmpty())
        return;
    openWith({entry});
}

void CreateGroupPanelController::createNewGroupAndAddTagToWords(const QVector<WordBookRowEntry>& entries)
{
    openWith(entries);
}

void CreateGroupPanelController::forgetInHistory(const DictQueryHistoryItem& item)
{
    if (MVDictHistory* history = MVDictHistory::sharedInstance())
        history->deleteDictQueryHistory(item);
}

void CreateGroupPanelController::saveAction()
{
    const QString name = window_->nameField()->text();
    if (name.isEmpty() || !groupNameProblem(name).isEmpty())
        return;
    MVWordBook& book = screen_->book();
    book.addWordTags({name});
    if (!wordDictArray_.isEmpty()) {
        QStringList words;
        for (const WordBookRowEntry& e : std::as_const(wordDictArray_)) {
            if (e.word.isEmpty())
                continue;
            const bool fromHistory = e.history == QLatin1String("YES");
            DictQueryHistoryItem h;
            h.displayWord = e.word;
            h.orignWord = e.historyKey.isNull() ? MVDictHistory::storedKey(e.word) : e.historyKey;
            h.definition = e.intp;
            words << e.word;
            // An existing favourite keeps its row; only its group changes.
            if (book.hasWord(e.word)) {
                if (fromHistory)
                    forgetInHistory(h);
                continue;
            }
            // A word leaves the history only once it is safely in the book.
            book.addWord(e.word, e.phonetic, e.intp, this, [this, h, fromHistory](bool stored) {
                if (!stored || !fromHistory)
                    return;
                forgetInHistory(h);
                if (!screen_->isFavoriteButtonSelected())
                    screen_->reloadWordTable();
            });
        }
        // The current list shows the group's words once they are in it.
        book.addTag(name, words, screen_, [screen = screen_](bool) { screen->showStoredList(); });
    }
    wordDictArray_.clear();
    screen_->startSync(false);
    window_->hide();
    if (!screen_->isFavoriteButtonSelected())
        screen_->reloadWordTable();
}

void CreateGroupPanelController::cancelAction()
{
    wordDictArray_.clear();
    window_->hide();
}
