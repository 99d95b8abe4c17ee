#include "wordbook-ui/WBEditPanelController.h"

#include "platform/ColorScheme.h"
#include "query/LogUtils.h"
#include "window/views/MVClickableView.h"
#include "wordbook-ui/WordBookShell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kPickGroup = QStringLiteral("选择分组");
}

WBEditPanelController::WBEditPanelController(WordBookViewController* screen) : QObject(screen), screen_(screen)
{
    window_ = new QWidget(nullptr, Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    window_->setWindowTitle(QStringLiteral("编辑释义"));
    window_->resize(360, 300);
    auto* layout = new QVBoxLayout(window_);
    wordPhoneticLabel_ = new QLabel(window_);
    wordPhoneticLabel_->setTextFormat(Qt::PlainText);
    wordPhoneticLabel_->setStyleSheet(QStringLiteral("font-size:15px;"));
    wordParaphaseLabel_ = new QPlainTextEdit(window_);
    wordParaphaseLabel_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    auto* groupRow = new QHBoxLayout;
    editGroupListButton_ = new MVClickableView(window_);
    editGroupListButton_->setDelegate(this);
    editGroupListButton_->setFixedHeight(26);
    editGroupListButton_->setMinimumWidth(140);
    editGroupListButton_->setCursor(Qt::PointingHandCursor);
    auto recolor = [this] {
        editGroupListButton_->setStyleSheet(ColorScheme::shared().pick(
            QStringLiteral("background:white; color:black; border:1px solid rgba(0,0,0,51); border-radius:4px;"),
            QStringLiteral("background:#2b2b2d; color:#e6e6e6; border:1px solid rgba(255,255,255,51); "
                           "border-radius:4px;")));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    auto* inner = new QHBoxLayout(editGroupListButton_);
    inner->setContentsMargins(8, 0, 8, 0);
    editGroupTypeLabel_ = new QLabel(kPickGroup, editGroupListButton_);
    editGroupTypeLabel_->setTextFormat(Qt::PlainText);
    editGroupTypeLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    inner->addWidget(editGroupTypeLabel_);
    editGroupListMenu_ = new QMenu(window_);
    groupRow->addWidget(new QLabel(QStringLiteral("分组"), window_));
    groupRow->addWidget(editGroupListButton_);
    groupRow->addStretch(1);
    editSaveButton_ = new QPushButton(QStringLiteral("保存"), window_);
    groupRow->addWidget(editSaveButton_);
    layout->addWidget(wordPhoneticLabel_);
    layout->addWidget(wordParaphaseLabel_, 1);
    layout->addLayout(groupRow);
    connect(editSaveButton_, &QPushButton::clicked, this, &WBEditPanelController::editSaveButtonAction);
}

WBEditPanelController::~WBEditPanelController()
{
    delete window_;
}

void WBEditPanelController::showEditParaphasePanel(const WordBookRowEntry& entry)
{
    if (entry.word.isEmpty() || entry.fromHistory())
        return;
    entry_ = entry;
    pickedGroup_ = QString();
    editGroupTypeLabel_->setText(kPickGroup);
    wordPhoneticLabel_->setText(entry.word + QLatin1Char('\n') + entry.phonetic);
    wordParaphaseLabel_->setPlainText(entry.intp);
    wordParaphaseLabel_->moveCursor(QTextCursor::End);
    if (QWidget* over = screen_->shell() ? screen_->shell()->window() : nullptr)
        window_->move(over->geometry().center() - QPoint(window_->width() / 2, window_->height() / 2));
    window_->show();
    window_->raise();
    window_->activateWindow();
    wordParaphaseLabel_->setFocus();
}

void WBEditPanelController::didClickOnView(MVClickableView* view)
{
    if (view == editGroupListButton_)
        showEditGroupListMenu();
}

void WBEditPanelController::showEditGroupListMenu()
{
    editGroupListMenu_->clear();
    for (const QString& g : screen_->groupList()) {
        QAction* a = editGroupListMenu_->addAction(QString(g).replace(QLatin1Char('&'), QStringLiteral("&&")));
        a->setData(g);
        connect(a, &QAction::triggered, this, [this, a] { changeGroupTypeActionInEditPanel(a->data().toString()); });
    }
    editGroupListMenu_->popup(editGroupListButton_->mapToGlobal(QPoint(0, editGroupListButton_->height() + 5)));
}

void WBEditPanelController::changeGroupTypeActionInEditPanel(const QString& group)
{
    pickedGroup_ = group;
    editGroupTypeLabel_->setText(group);
}

void WBEditPanelController::editSaveButtonAction()
{
    LogUtils::log(QStringLiteral("action"), QStringLiteral("collect_edit_done"));
    const QString word = entry_.word;
    if (word.isEmpty())
        return;
    MVWordBook& book = screen_->book();
    const QString text = wordParaphaseLabel_->toPlainText();
    // The list shows the edit once the last of it is in the file (or failed).
    auto stored = [screen = screen_](bool) { screen->showStoredList(); };
    const bool moves = !pickedGroup_.isNull();
    book.rewriteParaphrase(word, entry_.phonetic, text, screen_, moves ? MVWordBook::WriteDone() : stored);
    if (moves) {
        if (pickedGroup_ == MVWordBook::kNoGroup || pickedGroup_ == MVWordBook::kAllWords)
            book.deleteTagsForWord(word, screen_, stored);
        else
            book.addTag(pickedGroup_, {word}, screen_, stored);
    }
    window_->hide();
    screen_->startSync(false);
}
