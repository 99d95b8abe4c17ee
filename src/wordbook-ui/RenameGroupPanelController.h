#pragma once

#include <QObject>
#include <QString>

class GroupNameWindow;
class WordBookViewController;

// Renames a group, or deletes one after a confirmation; the group's words
// stay in the word book. Acts on the group named when the menu item was
// chosen, never on a position in a list that may have changed since.
class RenameGroupPanelController : public QObject {
    Q_OBJECT
public:
    explicit RenameGroupPanelController(WordBookViewController* screen);
    ~RenameGroupPanelController() override;

    void renameAction(const QString& group);
    void deleteAction(const QString& group);
    void saveAction();
    void cancelAction();
    void deleteGroup();
    void cancelDeleteAction();

    GroupNameWindow* window() const { return window_; }
    QString oldTag() const { return oldTag_; }
    QString groupToDelete() const { return groupToDelete_; }

private:
    WordBookViewController* screen_;
    GroupNameWindow* window_ = nullptr;
    QString oldTag_;
    QString groupToDelete_;
};
