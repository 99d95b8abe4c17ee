#pragma once

#include "wordbook-ui/WordBookViewController.h"

#include <QObject>
#include <QVector>

// What the word menus and the Delete key do to words: put them into a
// group, or delete them after a confirmation. Each acts on the words
// captured when its menu or alert opened, so a list reloaded meanwhile by a
// synchronisation never turns the action onto other words.
class WBWordActionManager : public QObject {
    Q_OBJECT
public:
    explicit WBWordActionManager(WordBookViewController* screen);

    // One row's word into a group ("未分组": out of every group). A history
    // word not yet in the word book is added first.
    void addToGroupAction(const QString& group, const WordBookRowEntry& entry);
    // The selected rows' words; history words not yet in the book are added.
    void addWordsToGroupAction(const QString& group, const QVector<WordBookRowEntry>& entries, bool fromHistory);

    // The confirmation for the multi-selection, or else for `row` (the Delete key).
    void showDeleteActionAlert(qint64 row);
    // The confirmation for entries captured by a menu; firstRow places the
    // row shown afterwards.
    void showDeleteActionAlertForEntries(const QVector<WordBookRowEntry>& entries, qint64 firstRow);
    void conformToDeleteSelectedWord();
    void cancelToDeleteSelectedWord();

    bool hasPendingDelete() const { return pending_.active; }

private:
    struct PendingDelete {
        bool active = false;
        bool favourites = true;
        bool multi = false;
        QVector<WordBookRowEntry> entries;
        qint64 firstRow = 0;
    };
    void deleteFavourites(const PendingDelete& d);
    void deleteHistory(const PendingDelete& d);
    // Shows and selects the row after a delete, bounded to the list.
    void showFollowUp(qint64 row, bool history);
    // A delete is in the file (or failed): the list shows what is stored.
    void deleted(bool removed, qint64 follow);

    WordBookViewController* screen_;
    PendingDelete pending_;
};
