#pragma once

#include <QList>
#include <QString>

// One page the user looked at: the query, the tab that ran it (0 dictionary,
// 1 example sentences, 2 translation, 3 encyclopedia, 4 word book) and the
// page's vertical offset when the user left it.
struct QueryHistoryItem {
    QString query;  // "main_page" for the encyclopedia's main page
    qint32 tab = 0;
    qint32 scrollPosition = 0;
};

// The back/forward list of all tabs, in memory only, oldest first. The
// shared list starts with one empty entry (the home page) at index 0.
class QueryHistoryManager {
public:
    static QueryHistoryManager& getInstance();

    // A fresh list as getInstance() makes it (tests; each page set-up that
    // wants its own list).
    QueryHistoryManager();

    void appendQuery(const QString& query, qint32 tab);
    void setScrollPosition(qint32 position);
    // Moves back (forward) and returns that item; nullptr at the end.
    const QueryHistoryItem* getPrevItem();
    const QueryHistoryItem* getNextItem();
    bool isPrevItem() const;
    bool isNextItem() const;
    void resetIndex();
    QList<QueryHistoryItem> getHistoryList() const { return historyArray_; }
    qint32 currentIndex() const { return currentIndex_; }
    qint32 maxCount() const { return maxCount_; }
    // Nothing is persisted.
    void save() {}
    void load() {}

private:
    QList<QueryHistoryItem> historyArray_;
    qint32 currentIndex_ = 0;
    qint32 maxCount_ = 20;
};
