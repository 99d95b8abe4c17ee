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
    connect(&book_, &MVWordBook::storeAvailable, this, [this] { showStoredList(); });
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
    if (isFavoriteButtonSelected_) {
        // The stored paraphrase is the phonetic line, the separator and the
        // definition lines; without a separator all of it is definition.
        const QStringView intp = wordList_.paraphrase(row);
        const qsizetype at = intp.indexOf(kSep);
        WordBookRowEntry e;
        e.word = wordList_.word(row).toString();
        e.phonetic = at >= 0 ? intp.left(at).toString() : QStringLiteral("");
        e.intp = (at >= 0 ? intp.mid(at + kSep.size()) : intp).toString();
        return e;
    }
    const DictQueryHistoryItem& h = shownHistory_.at(row);
    WordBookRowEntry e{h.displayWord, QStringLiteral(""), h.definition, QStringLiteral("YES"), h.orignWord};
    return e;
}

QString WordBookViewController::wordAt(qint64 row) const
{
    if (row < 0 || row >= currentListCount())
        return {};
    return isFavoriteButtonSelected_ ? wordList_.word(row).toString() : shownHistory_.at(row).displayWord;
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

void WordBookViewController::loadWordListWithCategory(const QString& category, bool byDate,
                                                      std::function<void()> then)
{
    // Read on the store's queue: a book of a million words takes seconds to
    // read, and another program may hold the file. The last list asked for
    // is shown, and what waited for an earlier one runs after it; what was
    // listed stays until it comes.
    const quint64 load = ++listLoads_;
    if (then)
        afterLoad_.append(std::move(then));
    book_.readWordRows(category == kAllWordsLabel ? MVWordBook::kAllWords : category, byDate, this,
                       [this, load](WordRows rows, bool held) {
                           if (load != listLoads_)
                               return;
                           // A book that could not be read is not an empty one:
                           // what was listed stays, and the screen says why no
                           // more comes until the book fills itself again.
                           listHeld_ = held;
                           busyNotice_->setVisible(held && isFavoriteButtonSelected_);
                           if (held)
                               return;
                           rememberSelection();
                           wordList_ = std::move(rows);
                           listRead_ = true;
                           reloadWordTable();
                           const QList<std::function<void()>> waiting = std::exchange(afterLoad_, {});
                           for (const auto& f : waiting)
                               f();
                       });
}

void WordBookViewController::showStoredList(std::function<void()> then)
{
    loadWordListWithCategory(curCategory_, isSortedByDate_, std::move(then));
}

QString WordBookViewController::rowDetail(const QString& intp)
{
    // The stored separators and the definition's own line breaks read as
    // spaces in the one-line detail.
    return QString(intp).replace(kSep, QStringLiteral(" ")).simplified();
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
    const int n = currentListCount();
    // Rows are made as the view asks for them: only those on screen.
    model_->setRows(n, [this](int row) {
        const WordBookRowEntry e = entryAt(row);
        return WordListModel::Row{e.word, rowDetail(e.intp)};
    });

    // Each remembered word's first row, found in one pass over the list.
    QHash<QString, qint64> rowOf;
    for (const QString& w : std::as_const(selectedWords))
        rowOf.insert(w, -1);
    if (!cellWord.isNull())
        rowOf.insert(cellWord, -1);
    for (qint64 r = 0, left = rowOf.size(); r < n && left > 0; ++r) {
        auto it = rowOf.find(wordAt(r));
        if (it != rowOf.end() && *it < 0) {
            *it = r;
            --left;
        }
    }
    selectedRows_.clear();
    QSet<qint64> taken;
    for (const QString& w : std::as_const(selectedWords)) {
        const qint64 at = rowOf.value(w, -1);
        if (at >= 0 && !taken.contains(at)) {
            taken.insert(at);
            selectedRows_.append(at);
        }
    }
    selectedCellRow_ = cellWord.isNull() ? -1 : rowOf.value(cellWord, -1);
    applyLooks();
    emit listReloaded();
    // Checked once per load (the model's row count is asked all the time);
    // a list not read yet is not an empty one.
    if (n == 0 && (listRead_ || !isFavoriteButtonSelected_))
        showParaphaseForFirstWord();
}

void WordBookViewController::applyLooks()
{
    model_->setLooks(QSet<qint64>(selectedRows_.cbegin(), selectedRows_.cend()), selectedCellRow_,
                     selectedCellMoreShown_);
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
    busyNotice_->setVisible(listHeld_);
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
    busyNotice_->hide();
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
    // A range across a large book is hundreds of thousands of rows: looked
    // up in a set, not in the list.
    QSet<qint64> selected(selectedRows_.cbegin(), selectedRows_.cend());
    // A range is painted once it is whole.
    auto add = [this, &selected](qint64 r, bool paint = true) {
        if (selected.contains(r))
            return;
        selected.insert(r);
        selectedRows_.append(r);
        if (paint)
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
                add(r, false);
        } else {
            for (qint64 r = row; r < anchor; ++r)
                add(r, false);
        }
        applyLooks();
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
    // Only where the user is looking at the word book: on the lookup tab the
    // newest synced word would replace what is being read and be written to
    // the history.
    loadWordListWithCategory(curCategory_, isSortedByDate_, [this, reset] {
        if (reset && shell_ && shell_->isShowingWordBookView())
            showParaphaseForFirstWord();
    });
    if (syncBtnClicked_) {
        MVHUDWndController::sharedInstance().showHUDWithMessage(QStringLiteral("同步成功"), 0.5);
        syncBtnClicked_ = false;
    }
    if (reset)
        shouldResetCurCategory_ = false;
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
