#include "wordbook-ui/WBWordActionManager.h"

#include "query/LogUtils.h"
#include "window/MVAlertWndController.h"
#include "wordbook-ui/MVWordBookCellView.h"

#include <algorithm>

namespace {
void logAction(const QString& value)
{
    LogUtils::log(QStringLiteral("action"), value);
}

DictQueryHistoryItem historyItem(const WordBookRowEntry& e)
{
    DictQueryHistoryItem h;
    h.displayWord = e.word;
    h.orignWord = e.historyKey.isNull() ? MVDictHistory::storedKey(e.word) : e.historyKey;
    h.definition = e.intp;
    return h;
}
}  // namespace

WBWordActionManager::WBWordActionManager(WordBookViewController* screen) : QObject(screen), screen_(screen) {}

void WBWordActionManager::addToGroupAction(const QString& group, const WordBookRowEntry& entry)
{
    if (entry.word.isEmpty())
        return;
    MVWordBook& book = screen_->book();
    // The list shows what the file holds once the move is in it, or failed.
    auto stored = [this](bool) { screen_->showStoredList(); };
    if (entry.fromHistory()) {
        if (!book.hasWord(entry.word))
            book.addWord(entry.word, QStringLiteral(""), entry.intp);
        if (group != MVWordBook::kNoGroup)
            book.addTag(group, {entry.word}, this, stored);
        else
            book.deleteTagsForWord(entry.word, this, stored);
        logAction(QStringLiteral("history_collect"));
    } else if (group == MVWordBook::kNoGroup) {
        book.deleteTagsForWord(entry.word, this, stored);
    } else {
        book.addTag(group, {entry.word}, this, stored);
    }
    screen_->startSync(false);
}

void WBWordActionManager::addWordsToGroupAction(const QString& group, const QVector<WordBookRowEntry>& entries,
                                                bool fromHistory)
{
    MVWordBook& book = screen_->book();
    QStringList words;
    for (const WordBookRowEntry& e : entries) {
        if (e.word.isEmpty())
            continue;
        // A group only holds words of the word book.
        if (fromHistory && !book.hasWord(e.word))
            book.addWord(e.word, QStringLiteral(""), e.intp);
        words << e.word;
    }
    auto stored = [this](bool) { screen_->showStoredList(); };
    if (group == MVWordBook::kNoGroup)
        book.deleteTagsForWords(words, this, stored);
    else
        book.addTag(group, words, this, stored);
    screen_->setCurWordIndex(qint64(screen_->wordListTableView()->curSelectedRow()));
    screen_->resetMultiSelectedRows();
    screen_->startSync(false);
    screen_->reloadWordTable();
}

void WBWordActionManager::showDeleteActionAlert(qint64 row)
{
    QVector<WordBookRowEntry> entries;
    qint64 first = row;
    if (!screen_->selectedRows().isEmpty()) {
        for (qint64 r : screen_->selectedRows())
            entries.append(screen_->entryAt(r));
        first = screen_->selectedRows().first();
        pending_.multi = true;
    } else {
        entries.append(screen_->entryAt(row));
        pending_.multi = false;
    }
    pending_.favourites = screen_->isFavoriteButtonSelected();
    pending_.entries = entries;
    pending_.firstRow = first;
    pending_.active = true;
    MVAlertWndController& alert = MVAlertWndController::sharedInstance();
    alert.setTitle(QStringLiteral("提示"));
    alert.setShowLeftButton(false);
    alert.setShowRightButton(false);
    alert.changeLeftButtonTitle(QStringLiteral("取消"));
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setMessage(QStringLiteral("确定删除选中的单词？删除后将不可恢复。"));
    QPointer<WBWordActionManager> self(this);
    alert.setLeftButtonAction([self] {
        if (self)
            self->cancelToDeleteSelectedWord();
    });
    alert.setRightButtonAction([self] {
        if (self)
            self->conformToDeleteSelectedWord();
    });
    alert.showWindow();
}

void WBWordActionManager::showDeleteActionAlertForEntries(const QVector<WordBookRowEntry>& entries, qint64 firstRow)
{
    showDeleteActionAlert(firstRow);
    // The menu's own words, whatever the selection is by now.
    pending_.entries = entries;
    pending_.multi = entries.size() > 1 || !screen_->selectedRows().isEmpty();
}

void WBWordActionManager::cancelToDeleteSelectedWord()
{
    pending_ = PendingDelete();
    MVAlertWndController::sharedInstance().hideWindow();
}

void WBWordActionManager::conformToDeleteSelectedWord()
{
    const PendingDelete d = pending_;
    pending_ = PendingDelete();
    if (d.active) {
        if (d.favourites)
            deleteFavourites(d);
        else
            deleteHistory(d);
    }
    screen_->resetMultiSelectedRows();
    MVAlertWndController::sharedInstance().hideWindow();
}

void WBWordActionManager::deleteFavourites(const PendingDelete& d)
{
    MVWordBook& book = screen_->book();
    if (d.multi) {
        QStringList words;
        for (const WordBookRowEntry& e : d.entries)
            if (!e.word.isEmpty())
                words << e.word;
        const qint64 follow = d.firstRow == 0 ? 0 : d.firstRow - 1;
        screen_->resetMultiSelectedRows();
        // The rows go once the words are out of the file; a failed delete
        // leaves them listed (the word book tells the user why).
        book.delWords(words, this, [this, follow](bool removed) { deleted(removed, follow); });
        screen_->startSync(false);
        return;
    }
    const QString word = d.entries.value(0).word;
    const auto& list = screen_->wordList();
    const qint64 index = word.isEmpty() ? -1 : list.indexOf(word);
    if (index < 0)
        return;  // no longer listed: nothing to delete
    qint64 follow = index;
    if (index == list.size() - 1)
        follow = index - 1;
    if (index == 0)
        follow = 0;
    book.delWord(word, this, [this, follow](bool removed) { deleted(removed, follow); });
    screen_->startSync(false);
}

void WBWordActionManager::deleted(bool removed, qint64 follow)
{
    if (removed)
        logAction(QStringLiteral("collect_delete"));
    // The follow-up row is one of the list as it is read after the delete.
    screen_->showStoredList([this, removed, follow] {
        if (removed)
            showFollowUp(follow, false);
    });
}

void WBWordActionManager::deleteHistory(const PendingDelete& d)
{
    MVDictHistory* history = MVDictHistory::sharedInstance();
    if (!history)
        return;
    qint64 follow = 0;
    if (d.multi) {
        follow = d.firstRow == 0 ? 0 : d.firstRow - 1;
        // Collected before any is deleted (d.entries), so rows never shift underneath.
        for (const WordBookRowEntry& e : d.entries)
            if (!e.word.isEmpty())
                history->deleteDictQueryHistory(historyItem(e));
    } else {
        const WordBookRowEntry e = d.entries.value(0);
        const QVector<DictQueryHistoryItem> list = history->getDictHistory();
        qint64 index = -1;
        for (qint64 i = 0; i < list.size(); ++i)
            if (list.at(i).orignWord == historyItem(e).orignWord) {
                index = i;
                break;
            }
        if (e.word.isEmpty() || index < 0)
            return;
        follow = index;
        if (index == list.size() - 1)
            follow = index - 1;
        if (index == 0)
            follow = 0;
        history->deleteDictQueryHistory(list.at(index));
    }
    logAction(QStringLiteral("history_delete"));
    screen_->resetMultiSelectedRows();
    screen_->reloadWordTable();
    showFollowUp(follow, true);
}

void WBWordActionManager::showFollowUp(qint64 row, bool history)
{
    const int n = screen_->currentListCount();
    if (n == 0)
        return;
    row = std::clamp<qint64>(row, 0, n - 1);
    WordBookRowEntry e = screen_->entryAt(row);
    if (history)
        e.history = QStringLiteral("NO");
    screen_->selectRow(row);
    screen_->showParaphaseForWord(e);
}
