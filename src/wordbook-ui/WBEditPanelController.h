#pragma once

#include "wordbook-ui/WordBookViewController.h"

#include <QObject>

class MVClickableView;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Edits a favourite's definition and, when the user picks one, its group.
// The word is the one whose menu opened the panel; saving rewrites its
// paraphrase in place, so its date, groups and review record stay.
class WBEditPanelController : public QObject, public MVClickableViewDelegate {
    Q_OBJECT
public:
    explicit WBEditPanelController(WordBookViewController* screen);
    ~WBEditPanelController() override;

    void showEditParaphasePanel(const WordBookRowEntry& entry);
    void showEditGroupListMenu();
    void changeGroupTypeActionInEditPanel(const QString& group);
    void editSaveButtonAction();

    QWidget* window() const { return window_; }
    QLabel* wordPhoneticLabel() const { return wordPhoneticLabel_; }
    QPlainTextEdit* wordParaphaseLabel() const { return wordParaphaseLabel_; }
    QLabel* editGroupTypeLabel() const { return editGroupTypeLabel_; }
    QMenu* editGroupListMenu() const { return editGroupListMenu_; }
    QPushButton* editSaveButton() const { return editSaveButton_; }
    const WordBookRowEntry& entry() const { return entry_; }

    void didClickOnView(MVClickableView* view) override;

private:
    WordBookViewController* screen_;
    QWidget* window_ = nullptr;
    QLabel* wordPhoneticLabel_ = nullptr;
    QPlainTextEdit* wordParaphaseLabel_ = nullptr;
    QLabel* editGroupTypeLabel_ = nullptr;
    MVClickableView* editGroupListButton_ = nullptr;
    QMenu* editGroupListMenu_ = nullptr;
    QPushButton* editSaveButton_ = nullptr;
    WordBookRowEntry entry_;
    // The group the user picked in this opening; null when none was picked.
    QString pickedGroup_;
};
