#pragma once

#include "wordbook-ui/WordBookViewController.h"

#include <QDialog>
#include <QObject>
#include <QVector>

struct DictQueryHistoryItem;

class QLabel;
class QLineEdit;
class QPushButton;

// Why a group name cannot be saved, or an empty text when it can. A name
// with ";" would come back from the service as two groups, and the two
// pseudo-groups' names would be mistaken for them.
QString groupNameProblem(const QString& name);

// A small application-modal window with a name field, a hint and Save and
// Cancel; shown without a nested event loop.
class GroupNameWindow : public QDialog {
    Q_OBJECT
public:
    GroupNameWindow(const QString& title, const QString& placeholder, QWidget* parent = nullptr);
    QLineEdit* nameField() const { return field_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* hintLabel() const { return hint_; }
    void openOver(const QWidget* over);

signals:
    void saveRequested();

private:
    void nameChanged();

    QLineEdit* field_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* hint_ = nullptr;
};

// The create-group panel: a new group, and optionally words put into it.
class CreateGroupPanelController : public QObject {
    Q_OBJECT
public:
    explicit CreateGroupPanelController(WordBookViewController* screen);
    ~CreateGroupPanelController() override;

    void createNewGroupAction();
    void createNewGroupAndAddTagToWord(const WordBookRowEntry& entry);
    void createNewGroupAndAddTagToWords(const QVector<WordBookRowEntry>& entries);
    void saveAction();
    void cancelAction();

    GroupNameWindow* window() const { return window_; }
    const QVector<WordBookRowEntry>& wordDictArray() const { return wordDictArray_; }

private:
    void openWith(const QVector<WordBookRowEntry>& entries);
    static void forgetInHistory(const DictQueryHistoryItem& item);

    WordBookViewController* screen_;
    GroupNameWindow* window_ = nullptr;
    QVector<WordBookRowEntry> wordDictArray_;
};
