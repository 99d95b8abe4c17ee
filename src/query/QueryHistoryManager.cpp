#include "query/QueryHistoryManager.h"

QueryHistoryManager& QueryHistoryManager::getInstance() {
    static QueryHistoryManager instance;
    return instance;
}

QueryHistoryManager::QueryHistoryManager() {
    resetIndex();
    appendQuery(QString(QLatin1String("")), 0);
}

void QueryHistoryManager::appendQuery(const QString& query, qint32 tab) {
    while (currentIndex_ + 1 < historyArray_.size()) historyArray_.removeLast();
    if (!historyArray_.isEmpty()) {
        const QueryHistoryItem& last = historyArray_.last();
        if (last.query == query && last.tab == tab) return;
    }
    historyArray_.append(QueryHistoryItem{query, tab, 0});
    if (historyArray_.size() > maxCount_) historyArray_.removeFirst();
    currentIndex_ = static_cast<qint32>(historyArray_.size()) - 1;
}

void QueryHistoryManager::setScrollPosition(qint32 position) {
    if (currentIndex_ >= 0 && currentIndex_ < historyArray_.size())
        historyArray_[currentIndex_].scrollPosition = position;
}

const QueryHistoryItem* QueryHistoryManager::getPrevItem() {
    if (currentIndex_ <= 0 || currentIndex_ > historyArray_.size()) return nullptr;
    --currentIndex_;
    return &historyArray_.at(currentIndex_);
}

const QueryHistoryItem* QueryHistoryManager::getNextItem() {
    if (currentIndex_ + 1 >= historyArray_.size() || currentIndex_ < -1) return nullptr;
    ++currentIndex_;
    return &historyArray_.at(currentIndex_);
}

bool QueryHistoryManager::isPrevItem() const { return currentIndex_ > 0; }

bool QueryHistoryManager::isNextItem() const { return currentIndex_ < historyArray_.size() - 1; }

void QueryHistoryManager::resetIndex() {
    currentIndex_ = historyArray_.isEmpty() ? 0 : static_cast<qint32>(historyArray_.size()) - 1;
}
