#include "wordbook-ui/RenameGroupPanelController.h"

#include "window/MVAlertWndController.h"
#include "wordbook-ui/CreateGroupPanelController.h"
#include "wordbook-ui/WordBookShell.h"
#include "wordbook-ui/WordBookViewController.h"

#include <QLabel>
#include <QLineEdit>

RenameGroupPanelController::RenameGroupPanelController(WordBookViewController* screen)
    : QObject(screen), screen_(screen)
{
    window_ = new GroupNameWindow(QStringLiteral("重命名分组"), QStringLiteral("新的分组名称"));
    connect(window_, &GroupNameWindow::saveRequested, this, &RenameGroupPanelController::saveAction);
    connect(window_, &QDialog::rejected, this, [this] { window_->nameField()->clear(); });
}

RenameGroupPanelController::~RenameGroupPanelController()
{
    delete window_;
}

void RenameGroupPanelController::renameAction(const QString& group)
{
    oldTag_ = group;
    window_->setWindowTitle(QStringLiteral("重命名分组“%1”").arg(group));
    window_->openOver(screen_->shell() ? screen_->shell()->window() : nullptr);
}

void RenameGroupPanelController::saveAction()
{
    const QString name = window_->nameField()->text();
    if (name.isEmpty() || !groupNameProblem(name).isEmpty())
        return;
    if (!oldTag_.isEmpty()) {
        // The list that showed the old group shows it under its new name
        // once the rename is in the file; a failed one changes nothing (the
        // word book tells the user why).
        const QString from = oldTag_;
        screen_->book().updateWordTag(from, name, this, [this, from, name](bool renamed) {
            if (renamed && screen_->curCategory() == from)
                screen_->changeSelectedGroupType(name);
            else
                screen_->showStoredList();
        });
    }
    window_->nameField()->clear();
    screen_->startSync(false);
    window_->hide();
}

void RenameGroupPanelController::cancelAction()
{
    window_->hide();
    window_->nameField()->clear();
}

void RenameGroupPanelController::deleteAction(const QString& group)
{
    groupToDelete_ = group;
    MVAlertWndController& alert = MVAlertWndController::sharedInstance();
    alert.setTitle(QStringLiteral("提示"));
    alert.setMessage(QStringLiteral("确定删除分组%1?").arg(group) + QLatin1Char('\n')
                     + QStringLiteral("删除后该分组内的单词将保留到未分组单词中"));
    // The group name is the user's text, never markup.
    alert.alertMessageLabel()->setTextFormat(Qt::PlainText);
    alert.setShowLeftButton(false);
    alert.setShowRightButton(false);
    alert.changeLeftButtonTitle(QStringLiteral("取消"));
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    QPointer<RenameGroupPanelController> self(this);
    alert.setLeftButtonAction([self] {
        if (self)
            self->cancelDeleteAction();
    });
    alert.setRightButtonAction([self] {
        if (self)
            self->deleteGroup();
    });
    alert.showWindow();
}

void RenameGroupPanelController::deleteGroup()
{
    const QString group = groupToDelete_;
    groupToDelete_.clear();
    if (!group.isEmpty()) {
        screen_->book().deleteWordForTag(group, this, [this, group](bool deleted) {
            if (deleted && screen_->curCategory() == group)
                screen_->changeSelectedGroupType(WordBookViewController::kAllWordsLabel);
            else
                screen_->showStoredList();
        });
        screen_->startSync(false);
    }
    MVAlertWndController::sharedInstance().hideWindow();
}

void RenameGroupPanelController::cancelDeleteAction()
{
    groupToDelete_.clear();
    MVAlertWndController::sharedInstance().hideWindow();
}
