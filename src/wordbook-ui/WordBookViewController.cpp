#include "wordbook-ui/WordBookViewController.h"

#include "platform/ColorScheme.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "query/HistoryRecordingFlags.h"
#include "query/LogUtils.h"
#include "window/ImageLibrary.h"
#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "window/ShellServices.h"
#include "wordbook-ui/CreateGroupPanelController.h"
#include "wordbook-ui/MVWordBookCellBackView.h"
#include "wordbook-ui/MVWordBookCellView.h"
#include "wordbook-ui/RenameGroupPanelController.h"
#include "wordbook-ui/WBTransferController.h"
#include "wordbook-ui/WBAnimationManager.h"
#include "wordbook-ui/WBEditPanelController.h"
#include "wordbook-ui/WBWordActionManager.h"
#include "wordbook-ui/WordBookQueryController.h"
#include "wordbook-ui/WordBookShell.h"

#include <QCoreApplication>
#include <QDate>
#include <QMenu>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
QPointer<WordBookViewController> g_shared;
const QString kSep = QStringLiteral("\\n");

void logAction(const QString& value)
{
    LogUtils::log(QStringLiteral("action"), value);
}
}  // namespace

void WBClickableLabel::mousePressEvent(QMouseEvent* e)
{
    emit pressed();
    e->accept();
}

WordBookViewController* WordBookViewController::sharedInstance()
{
    return g_shared;
}

WordBookViewController::WordBookViewController(MVWordBook& book, WordBookShell* shell, QWidget* parent)
    : QWidget(parent), book_(book), shell_(shell)
{
    g_shared = this;
    HistoryRecordingFlags::sharedInstance().viewLoaded();
    animation_ = new WBAnimationManager(this);
    actions_ = new WBWordActionManager(this);
    createPanel_ = new CreateGroupPanelController(this);
    renamePanel_ = new RenameGroupPanelController(this);
    transfer_ = new WBTransferController(this);
    editPanel_ = new WBEditPanelController(this);
    setUpViews();
    setUpMenus();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, [this] {
        recolorTabs();
        table_->viewport()->update();
    });
    animation_->setSyncBtn(syncBtn_, QStringLiteral("img_wordbook_sync_normal_icon"));
    // Nothing posts these two today; the synchronisation callbacks drive the turn.
    auto& nc = NotificationCenter::defaultCenter();
    nc.addObserver(MVWordBookSyncStartNotification, this, [this](const Notification&) { animation_->startSyncAnimation(); });
    nc.addObserver(MVWordBookSyncCompletedNotification, this,
                   [this](const Notification&) { animation_->stopSyncAnimation(); });
    curCategory_ = QString();
    isSortedByDate_ = true;
    // Lists read while another program held the file came back empty.
    connect(&book_, &MVWordBook::storeAvailable, this, &WordBookViewController::showStoredList);
    loadWordListWithCategory(curCategory_, isSortedByDate_);
}

WordBookViewController::~WordBookViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

// ---------------------------------------------------------------- state

QVector<DictQueryHistoryItem> WordBookViewController::historyList() const
{
    MVDictHistory* history = MVDictHistory::sharedInstance();
    return history ? history->getDictHistory() : QVector<DictQueryHistoryItem>();
}

QStringList WordBookViewController::groupList() const
{
    QStringList groups = book_.getTags();
    groups.append(MVWordBook::kNoGroup);
    return groups;
}

int WordBookViewController::currentListCount() const
{
    return int(isFavoriteButtonSelected_ ? wordList_.size() : shownHistory_.size());
}

WordBookRowEntry WordBookViewController::entryAt(qint64 row) const
{
    if (row < 0 || row >= currentListCount())
        return {};
    if (isFavoriteButtonSelected_)
        return wordList_.at(row);
    const DictQueryHistoryItem& h = shownHistory_.at(row);
    WordBookRowEntry e{h.displayWord, QStringLiteral(""), h.definition, QStringLiteral("YES"), h.orignWord};
    return e;
}

QString WordBookViewController::wordAt(qint64 row) const
{
    return entryAt(row).word;
}

// ---------------------------------------------------------------- lists

void WordBookViewController::rememberSelection()
{
    if (selectionRemembered_)
        return;
    rememberedRows_.clear();
    for (qint64 r : std::as_const(selectedRows_))
        rememberedRows_ << wordAt(r);
    rememberedCell_ = selectedCellRow_ >= 0 ? wordAt(selectedCellRow_) : QString();
    selectionRemembered_ = true;
}

void WordBookViewController::loadWordListWithCategory(const QString& category, bool byDate)
{
    rememberSelection();
    wordList_.clear();
    WordSections sections;
    if (category == MVWordBook::kNoGroup)
        sections = book_.wordListWithNoCategorySortedByDate(byDate);
    else if (category == kAllWordsLabel)
        sections = book_.wordListWithCategory(QString(), byDate);
    else
        sections = book_.wordListWithCategory(category, byDate);
    QStringList keys = sections.keys();  // ascending: the letter order
    if (byDate) {
        std::stable_sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) {
            const QDate da = QDate::fromString(a, QStringLiteral("yyyy-MM-dd"));
            const QDate db = QDate::fromString(b, QStringLiteral("yyyy-MM-dd"));
            if (da.isValid() != db.isValid())
                return da.isValid();
            return da > db;
        });
    }
    // Each entry's stored paraphrase is let go once split: a large book is
    // not held twice over.
    for (const QString& key : keys) {
        QList<WordBookEntry> entries = sections.take(key);
        for (WordBookEntry& e : entries) {
            WordBookRowEntry row;
            row.word = e.word;
            const int at = e.intp.indexOf(kSep);
            row.phonetic = at >= 0 ? e.intp.left(at) : QStringLiteral("");
            row.intp = at >= 0 ? e.intp.mid(at + kSep.size()) : e.intp;
            e = {};
            wordList_.append(row);
        }
    }
    reloadWordTable();
}

void WordBookViewController::showStoredList()
{
    loadWordListWithCategory(curCategory_, isSortedByDate_);
}

void WordBookViewController::reloadWordTable()
{
    // The selection follows its words through the reload, not their old rows.
    rememberSelection();
    const QStringList selectedWords = rememberedRows_;
    const QString cellWord = rememberedCell_;
    selectionRemembered_ = false;

    if (!isFavoriteButtonSelected_)
        shownHistory_ = historyList();
    QVector<WordListModel::Row> rows;
    const int n = currentListCount();
    rows.reserve(n);
    QStringList words;
    for (int i = 0; i < n; ++i) {
        const WordBookRowEntry e = entryAt(i);
        // The stored separators and the definition's own line breaks read as
        // spaces in the one-line detail.
        rows.append({e.word, QString(e.intp).replace(kSep, QStringLiteral(" ")).simplified()});
        words << e.word;
    }
    model_->setRows(rows);

    selectedRows_.clear();
    for (const QString& w : std::as_const(selectedWords)) {
        const qint64 at = words.indexOf(w);
        if (at >= 0 && !selectedRows_.contains(at))
            selectedRows_.append(at);
    }
    selectedCellRow_ = cellWord.isNull() ? -1 : words.indexOf(cellWord);
    applyLooks();
    emit listReloaded();
    // Checked once per load (the model's row count is asked all the time).
    if (n == 0)
        showParaphaseForFirstWord();
}

void WordBookViewController::applyLooks()
{
    const int n = currentListCount();
    for (int r = 0; r < n; ++r) {
        if (selectedRows_.contains(r))
            model_->setSelected(r, true, true);
        else if (r == selectedCellRow_)
            model_->setSelected(r, true, selectedCellMoreShown_);
        else if (model_->isSelected(r) || model_->isMoreShown(r))
            model_->setPlain(r);
    }
}

void WordBookViewController::deselectCell()
{
    if (selectedCellRow_ >= 0)
        model_->setPlain(int(selectedCellRow_));
    selectedCellRow_ = -1;
}

void WordBookViewController::resetMultiSelectedRows()
{
    for (qint64 r : std::as_const(selectedRows_))
        if (r != selectedCellRow_)
            model_->setPlain(int(r));
    selectedRows_.clear();
}

void WordBookViewController::selectRow(qint64 row)
{
    if (row < 0 || row >= currentListCount())
        return;
    deselectCell();
    selectedCellRow_ = row;
    selectedCellMoreShown_ = true;
    model_->setSelected(int(row), true, true);
    table_->setCurSelectedRow(quint64(row));
    curWordIndex_ = row;
}

void WordBookViewController::showParaphaseForWord(const WordBookRowEntry& entry)
{
    if (!shell_ || entry.word.isEmpty())
        return;
    shell_->changeQueryController(4);
    if (auto* qc = qobject_cast<WordBookQueryController*>(shell_->currentQueryController())) {
        if (isFavoriteButtonSelected_) {
            qc->setShouldSwizzleLocalTrans(true);
            const QString stored = entry.phonetic.isEmpty() ? entry.intp : entry.phonetic + kSep + entry.intp;
            qc->doQueryInDB(entry.word, stored);
            // Every stored line stands in for the service's paraphrase.
            QVariantList trans;
            for (const QString& line : entry.intp.split(kSep, Qt::SkipEmptyParts))
                trans.append(QVariantMap{{QStringLiteral("item"), QVariantMap{{QStringLiteral("trans"), line}}}});
            qc->setLocalTrans(trans);
            qc->setLocalPhonetic(entry.phonetic);
        } else {
            // A history row shows the dictionary's own entry, never the
            // previous favourite's lines.
            qc->setShouldSwizzleLocalTrans(false);
            qc->setLocalTrans({});
            qc->setLocalPhonetic(QString());
        }
    }
    if (isFavoriteButtonSelected_ && !clickFromBackOrForwardButton_) {
        shell_->doQuery(entry.word);
    } else {
        shell_->doQueryAddHistory(entry.word, false);
        clickFromBackOrForwardButton_ = false;
    }
}

void WordBookViewController::showParaphaseForFirstWord()
{
    if (!shell_ || !shell_->lookupPageIsCurrent())
        return;
    if (currentListCount() > 0) {
        deselectCell();
        resetMultiSelectedRows();
        selectedCellRow_ = 0;
        selectedCellMoreShown_ = false;
        model_->setSelected(0, true, false);
        curWordIndex_ = 0;
        table_->setCurSelectedRow(0);
        showParaphaseForWord(entryAt(0));
    } else if (shell_->isShowingWordBookView()) {
        shell_->loadDefaultPage();
    }
}

// ---------------------------------------------------------------- tabs

void WordBookViewController::switchToFavorites()
{
    if (isFavoriteButtonSelected_)
        return;
    deselectCell();
    selectedRows_.clear();
    isFavoriteButtonSelected_ = true;
    recolorTabs();
    options_->setCurrentIndex(0);
    reloadWordTable();
    curWordIndex_ = 0;
    HistoryRecordingFlags::sharedInstance().switchedToFavourites();
    showParaphaseForFirstWord();
    logAction(QStringLiteral("collect"));
}

void WordBookViewController::switchToHistory()
{
    if (!isFavoriteButtonSelected_)
        return;
    deselectCell();
    selectedRows_.clear();
    isFavoriteButtonSelected_ = false;
    recolorTabs();
    options_->setCurrentIndex(1);
    HistoryRecordingFlags::sharedInstance().switchedToHistory();
    curWordIndex_ = 0;
    table_->setCurSelectedRow(0);
    reloadWordTable();
    if (currentListCount() > 0) {
        selectedCellRow_ = 0;
        selectedCellMoreShown_ = false;
        model_->setSelected(0, true, false);
        showParaphaseForWord(entryAt(0));
    }
    logAction(QStringLiteral("history"));
}

void WordBookViewController::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    reloadWordTable();
    HistoryRecordingFlags::sharedInstance().screenAppeared(isFavoriteButtonSelected_);
}

void WordBookViewController::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    HistoryRecordingFlags::sharedInstance().screenDisappeared();
}

// ---------------------------------------------------------------- rows

void WordBookViewController::rowClicked(qint64 row, Qt::KeyboardModifiers modifiers)
{
    table_->setFocus();
    const bool cmd = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    table_->isCmdKeyPressing = cmd;
    table_->isShiftKeyPressing = shift;
    const int n = currentListCount();
    if (row < 0 || row >= n)
        return;
    const qint64 anchor = qint64(table_->curSelectedRow());
    auto add = [this](qint64 r) {
        if (selectedRows_.contains(r))
            return;
        selectedRows_.append(r);
        model_->setSelected(int(r), true, true);
    };
    auto seed = [&] {
        if (selectedRows_.isEmpty() && anchor != row && anchor >= 0 && anchor < n)
            add(anchor);
    };
    if (shift) {
        if (anchor == row)
            return;
        seed();
        if (anchor < row) {
            for (qint64 r = anchor + 1; r <= row; ++r)
                add(r);
        } else {
            for (qint64 r = row; r < anchor; ++r)
                add(r);
        }
        table_->setCurSelectedRow(quint64(row));
        return;
    }
    if (cmd) {
        seed();
        if (!selectedRows_.contains(row)) {
            if (!selectedRows_.isEmpty() && row < selectedRows_.first())
                selectedRows_.prepend(row);
            else
                selectedRows_.append(row);
        }
        model_->setSelected(int(row), true, true);
        table_->setCurSelectedRow(quint64(row));
        return;
    }
    resetMultiSelectedRows();
    if (isFavoriteButtonSelected_)
        HistoryRecordingFlags::sharedInstance().favouriteRowClicked();
    else
        HistoryRecordingFlags::sharedInstance().historyRowClicked();
    const WordBookRowEntry entry = entryAt(row);
    deselectCell();
    selectedCellRow_ = row;
    selectedCellMoreShown_ = true;
    model_->setSelected(int(row), true, true);
    showParaphaseForWord(entry);
    table_->setCurSelectedRow(quint64(row));
    curWordIndex_ = row;
    table_->scrollTo(model_->index(int(row)));
}

void WordBookViewController::rowEntered(qint64 row)
{
    if (!selectedRows_.isEmpty() || row < 0 || row >= currentListCount())
        return;
    curWordIndex_ = row;
    if (!model_->isSelected(int(row))) {
        model_->backView(int(row))->changeHoveredColorFrom(
            ColorScheme::shared().pick(QColor(Qt::white), QColor(0x1e, 0x1e, 0x20)),
            ColorScheme::shared().pick(QColor(0, 0, 0, 20), QColor(255, 255, 255, 26)), 0.1);
        model_->setMoreShown(int(row), true);
    } else {
        model_->setMoreShown(int(row), true);
    }
}

void WordBookViewController::rowExited(qint64 row)
{
    if (row < 0 || row >= currentListCount())
        return;
    if (!model_->isSelected(int(row)))
        model_->setPlain(int(row));
}

void WordBookViewController::tableViewDidClickTableRow(MVTableView* table, qint64 row)
{
    if (table == table_)
        rowClicked(row, lastPressModifiers_);
    lastPressModifiers_ = Qt::NoModifier;
}

void WordBookViewController::tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row)
{
    if (table == table_)
        rowEntered(row);
}

void WordBookViewController::tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row)
{
    if (table == table_)
        rowExited(row);
}

bool WordBookViewController::tableViewRightMouseDownInTableRow(MVTableView* table, qint64 row)
{
    if (table != table_)
        return false;
    if (!selectedRows_.isEmpty()) {
        prepareMultiSelectionMenu()->popup(QCursor::pos());
        return true;
    }
    if (row < 0)
        return true;
    curWordIndex_ = row;
    popUpMoreMenu(row);
    return true;
}

bool WordBookViewController::tableViewDidScrollWheel(MVTableView* table)
{
    if (table == table_)
        rowExited(curWordIndex_);
    return false;
}

bool WordBookViewController::tableViewDeleteTableRow(MVTableView* table, qint64 row)
{
    if (table != table_)
        return false;
    actions_->showDeleteActionAlert(row);
    return true;
}

bool WordBookViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == table_->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        lastPressModifiers_ = me->modifiers();
        const QPoint pos = me->position().toPoint();
        const qint64 row = table_->rowAtPoint(pos);
        // The more icon of a row is part of the painted row, not a widget.
        if (me->button() == Qt::LeftButton && row >= 0 && model_->isMoreShown(int(row))
            && MVWordBookCellView::moreButtonRect(table_->visualRect(model_->index(int(row)))).contains(pos)) {
            curWordIndex_ = row;
            popUpMoreMenu(row);
            return true;
        }
    }
    if (watched == table_->viewport() && event->type() == QEvent::MouseMove) {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint pos = me->position().toPoint();
        const qint64 row = table_->rowAtPoint(pos);
        if (row >= 0) {
            const bool inside =
                MVWordBookCellView::moreButtonRect(table_->visualRect(model_->index(int(row)))).contains(pos);
            if (auto* back = model_->backView(int(row)))
                back->changeMoreButtonImageViewWithName(inside ? QStringLiteral("img_wordbook_more_pressed_icon")
                                                               : QStringLiteral("img_wordbook_more_normal_icon"),
                                                        0.1);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WordBookViewController::keyDown(int qtKey, const QString& text)
{
    // A key the table leaves alone travels up to the main window, which
    // hands it back here: once is enough.
    if (forwardingKey_)
        return;
    forwardingKey_ = true;
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QCoreApplication::sendEvent(table_, &press);
    forwardingKey_ = false;
}

// ---------------------------------------------------------------- options

void WordBookViewController::setAllWordsLabelText(const QString& text)
{
    allWordsLabel_->setText(allWordsLabel_->fontMetrics().elidedText(text, Qt::ElideRight, 84));
    allWordsLabel_->setToolTip(QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()));
}

void WordBookViewController::changeSelectedGroupType(const QString& group)
{
    setAllWordsLabelText(group);
    curCategory_ = group;
    loadWordListWithCategory(curCategory_, isSortedByDate_);
}

void WordBookViewController::changeSortType(const QString& title)
{
    if (title == QStringLiteral("按时间排序")) {
        sortLabel_->setText(QStringLiteral("时间"));
        isSortedByDate_ = true;
    } else if (title == QStringLiteral("按字母排序")) {
        sortLabel_->setText(QStringLiteral("字母"));
        isSortedByDate_ = false;
    } else {
        return;
    }
    loadWordListWithCategory(curCategory_, isSortedByDate_);
}

void WordBookViewController::syncBtnClickAction()
{
    logAction(QStringLiteral("synchronize"));
    if (!ShellServices::account().hasLogined()) {
        if (shell_)
            shell_->showUserInfoPanel();
        return;
    }
    if (book_.isSyncing())
        return;
    syncBtnClicked_ = true;
    startSync(false);
}

void WordBookViewController::startSync(bool needMerge)
{
    book_.startSyncWithDelegate(this, needMerge);
}

void WordBookViewController::favoriteAll()
{
    // "收藏成功" once every word is in the file; after a failure the word
    // book has told the user why instead.
    struct Tally {
        int waiting = 0;
        bool allStored = true;
    };
    auto tally = std::make_shared<Tally>();
    for (const DictQueryHistoryItem& h : historyList()) {
        // A word already in the book keeps its row (date, edited definition).
        if (book_.hasWord(h.displayWord))
            continue;
        ++tally->waiting;
        book_.addWord(h.displayWord, QStringLiteral(""), h.definition, this, [this, tally](bool stored) {
            tally->allStored = tally->allStored && stored;
            if (--tally->waiting > 0)
                return;
            if (tally->allStored)
                MVHUDWndController::sharedInstance().showHUDWithMessage(QStringLiteral("收藏成功"), 0.5);
            reloadWordTable();
        });
    }
    if (tally->waiting == 0)
        MVHUDWndController::sharedInstance().showHUDWithMessage(QStringLiteral("收藏成功"), 0.5);
    startSync(false);
    reloadWordTable();
}

void WordBookViewController::showCleanHistoryAlert()
{
    MVAlertWndController& alert = MVAlertWndController::sharedInstance();
    alert.setTitle(QStringLiteral("提示"));
    alert.setMessage(QStringLiteral("确定清除所有查词历史记录？"));
    alert.setShowLeftButton(false);
    alert.setShowRightButton(false);
    alert.changeLeftButtonTitle(QStringLiteral("取消"));
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setLeftButtonAction([] { MVAlertWndController::sharedInstance().hideWindow(); });
    QPointer<WordBookViewController> self(this);
    alert.setRightButtonAction([self] {
        if (self)
            self->cleanHistoryAction();
        MVAlertWndController::sharedInstance().hideWindow();
    });
    alert.showWindow();
}

void WordBookViewController::cleanHistoryAction()
{
    if (MVDictHistory* history = MVDictHistory::sharedInstance())
        history->clearQueryHistory();
    selectedRows_.clear();
    selectedCellRow_ = -1;
    reloadWordTable();
}

// ---------------------------------------------------------------- synchronisation

void WordBookViewController::wordBookSyncStart()
{
    lastProgress_ = 0;
    animation_->startSyncAnimation();
}

void WordBookViewController::wordBookSyncProcessing(quint64 progress)
{
    lastProgress_ = progress;
}

void WordBookViewController::wordBookSyncSecuss()
{
    const bool reset = shouldResetCurCategory_;
    if (reset) {
        setAllWordsLabelText(kAllWordsLabel);
        curCategory_ = kAllWordsLabel;
    }
    animation_->stopSyncAnimation();
    loadWordListWithCategory(curCategory_, isSortedByDate_);
    if (syncBtnClicked_) {
        MVHUDWndController::sharedInstance().showHUDWithMessage(QStringLiteral("同步成功"), 0.5);
        syncBtnClicked_ = false;
    }
    if (reset) {
        // Only where the user is looking at the word book: on the lookup tab
        // the newest synced word would replace what is being read and be
        // written to the history.
        if (shell_ && shell_->isShowingWordBookView())
            showParaphaseForFirstWord();
        shouldResetCurCategory_ = false;
    }
}

void WordBookViewController::wordBookSyncFailed(const WordBookError& error)
{
    if (shouldResetCurCategory_) {
        setAllWordsLabelText(kAllWordsLabel);
        curCategory_ = kAllWordsLabel;
        shouldResetCurCategory_ = false;
    }
    animation_->stopSyncAnimation();
    if (error.code == wbsync::kLoginError) {
        if (syncBtnClicked_)
            ShellServices::account().showLoginPanel();
    } else {
        MVHUDWndController::sharedInstance().showHUDWithMessage(QStringLiteral("同步失败"), 0.5);
    }
    // The flag belongs to the synchronisation that just ended.
    syncBtnClicked_ = false;
    loadWordListWithCategory(curCategory_, isSortedByDate_);
}
