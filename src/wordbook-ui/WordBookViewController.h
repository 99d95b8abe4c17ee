#pragma once

#include "query/MVDictHistory.h"
#include "window/views/MVClickableView.h"
#include "window/views/MVTableView.h"
#include "wordbook/MVWordBook.h"

#include <QLabel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <QWidget>

class CreateGroupPanelController;
class QMenu;
class QStackedWidget;
class RenameGroupPanelController;
class WBTransferController;
class WBAnimationManager;
class WBEditPanelController;
class WBWordActionManager;
class WordBookShell;
class WordListModel;

// One row as the screen and its panels pass it around: the phonetic line
// (bracketed, or empty), the definition lines joined by backslash-n, and for
// history rows "YES" (or "NO" for the row shown after a history delete).
struct WordBookRowEntry {
    QString word;
    QString phonetic;
    QString intp;
    QString history;
    QString historyKey;  // history rows: the stored key that deletes the row
    bool fromHistory() const { return !history.isNull(); }
};

// A label that acts on mouse-down.
class WBClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void pressed();
protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// The word book's side screen: the favourites tab (the word book by group,
// by date or letter) and the history tab (the query history), the sync
// button, the word menus and the panels. Selecting a row shows its entry in
// the lookup page through the word book's lookup controller.
//
// Rows are indices into lists that a synchronisation reloads at any time:
// every menu, alert and panel captures the words it acts on when it opens.
class WordBookViewController : public QWidget,
                               public MVTableViewDelegate,
                               public MVClickableViewDelegate,
                               public MVWordBookSyncDelegate {
    Q_OBJECT
public:
    static inline const QString kAllWordsLabel = QStringLiteral("所有单词");

    WordBookViewController(MVWordBook& book, WordBookShell* shell, QWidget* parent = nullptr);
    ~WordBookViewController() override;
    // The screen the application made last (panels and the account reach it).
    static WordBookViewController* sharedInstance();

    MVWordBook& book() const { return book_; }
    WordBookShell* shell() const { return shell_; }

    // --- state
    bool isFavoriteButtonSelected() const { return isFavoriteButtonSelected_; }
    QString curCategory() const { return curCategory_; }
    bool isSortedByDate() const { return isSortedByDate_; }
    // The favourites list as last read from the store.
    const WordRows& wordList() const { return wordList_; }
    // The query history, read again on every access, newest first.
    QVector<DictQueryHistoryItem> historyList() const;
    // The groups in list order followed by "未分组", read again on every access.
    QStringList groupList() const;
    const QList<qint64>& selectedRows() const { return selectedRows_; }
    qint64 curWordIndex() const { return curWordIndex_; }
    void setCurWordIndex(qint64 i) { curWordIndex_ = i; }
    qint64 edittingWordIndex() const { return edittingWordIndex_; }
    qint64 selectedCellRow() const { return selectedCellRow_; }
    bool syncBtnClicked() const { return syncBtnClicked_; }
    bool shouldResetCurCategory() const { return shouldResetCurCategory_; }
    void setShouldResetCurCategory(bool v) { shouldResetCurCategory_ = v; }
    void setClickFromBackOrForwardButton(bool v) { clickFromBackOrForwardButton_ = v; }
    bool clickFromBackOrForwardButton() const { return clickFromBackOrForwardButton_; }

    // The row count of the current tab's list.
    int currentListCount() const;
    // A row as an entry; history rows converted. Null word outside the list.
    WordBookRowEntry entryAt(qint64 row) const;
    // The word of a row of the current tab.
    QString wordAt(qint64 row) const;

    // --- lists
    // Reads the group's list on the store's queue and shows it, keeping the
    // selection by word; `then` runs once it is shown. Only the last list
    // asked for is shown.
    void loadWordListWithCategory(const QString& category, bool byDate, std::function<void()> then = {});
    // Reloads the current tab's rows, keeping the selection by word.
    void reloadWordTable();
    // The current group's words as the file holds them once every write
    // asked for before is done.
    void showStoredList(std::function<void()> then = {});
    void showParaphaseForWord(const WordBookRowEntry& entry);
    void showParaphaseForFirstWord();
    void resetMultiSelectedRows();
    // Draws a row as the single selection and makes it the current row.
    void selectRow(qint64 row);

    // --- what the user does
    void switchToFavorites();
    void switchToHistory();
    void rowClicked(qint64 row, Qt::KeyboardModifiers modifiers);
    void rowEntered(qint64 row);
    void rowExited(qint64 row);
    void changeSelectedGroupType(const QString& group);
    void changeSortType(const QString& title);
    void syncBtnClickAction();
    void favoriteAll();
    void showCleanHistoryAlert();
    void cleanHistoryAction();
    void keyDown(int qtKey, const QString& text);
    // Starts a synchronisation reported to this screen.
    void startSync(bool needMerge = false);

    // --- menus, rebuilt before each showing
    QMenu* groupListMenu() const { return groupListMenu_; }
    QMenu* sortTypeMenu() const { return sortTypeMenu_; }
    QMenu* manageMenu() const { return manageMenu_; }
    QMenu* manageSubMenu() const { return manageSubMenu_; }
    QMenu* favoriteMoreMenu() const { return favoriteMoreMenu_; }
    QMenu* favoriteSubMenu() const { return favoriteSubMenu_; }
    QMenu* historyMoreMenu() const { return historyMoreMenu_; }
    QMenu* historySubMenu() const { return historySubMenu_; }
    QMenu* multiSelectionMenu() const { return multiSelectionMenu_; }
    QMenu* multiSubSelectionMenu() const { return multiSubSelectionMenu_; }
    void prepareGroupMenu();
    void prepareManageMenu();
    // The row's more-menu (the tab's), its words captured; returns it.
    QMenu* prepareMoreMenu(qint64 row);
    QMenu* prepareMultiSelectionMenu();
    // The words the open menu acts on, captured when it opened.
    QStringList menuWords() const { return menuWords_; }
    QVector<WordBookRowEntry> menuEntries() const { return menuEntries_; }

    // --- companions
    WBWordActionManager& actionManager() const { return *actions_; }
    CreateGroupPanelController& createGroupPanel() const { return *createPanel_; }
    RenameGroupPanelController& renameGroupPanel() const { return *renamePanel_; }
    WBTransferController& transfer() const { return *transfer_; }
    WBEditPanelController& editPanel() const { return *editPanel_; }
    WBAnimationManager& animationManager() const { return *animation_; }

    // --- views
    MVTableView* wordListTableView() const { return table_; }
    WordListModel* wordListModel() const { return model_; }
    WBClickableLabel* favoriteLabel() const { return favoriteLabel_; }
    WBClickableLabel* historyLabel() const { return historyLabel_; }
    WBClickableLabel* allWordsLabel() const { return allWordsLabel_; }
    WBClickableLabel* sortLabel() const { return sortLabel_; }
    MVClickableView* syncBtn() const { return syncBtn_; }

    // MVWordBookSyncDelegate
    void wordBookSyncStart() override;
    void wordBookSyncProcessing(quint64 progress) override;
    void wordBookSyncSecuss() override;
    void wordBookSyncFailed(const WordBookError& error) override;
    quint64 lastSyncProgress() const { return lastProgress_; }

    // MVTableViewDelegate
    void tableViewDidClickTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row) override;
    bool tableViewRightMouseDownInTableRow(MVTableView* table, qint64 row) override;
    bool tableViewDidScrollWheel(MVTableView* table) override;
    bool tableViewDeleteTableRow(MVTableView* table, qint64 row) override;

    // MVClickableViewDelegate
    void didClickOnView(MVClickableView* view) override;
    bool didMouseUpFromView(MVClickableView* view) override;
    bool didMouseEnteredInView(MVClickableView* view) override;

signals:
    // After every reload of the word table.
    void listReloaded();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpViews();
    QWidget* makeTabSwitch();
    QWidget* makeFavoriteOptions();
    QWidget* makeHistoryOptions();
    void setUpMenus();
    MVClickableView* makeButton(const QString& image, QWidget* parent, int w, int h);
    void recolorTabs();
    void applyLooks();
    void deselectCell();
    void popUpAt(QMenu* menu, QWidget* anchor);
    void popUpMoreMenu(qint64 row);
    void addGroupItems(QMenu* menu, QAction* before, const std::function<void(const QString&)>& act);
    void setButtonImage(MVClickableView* v, const QString& image);
    void setAllWordsLabelText(const QString& text);
    // The selected words before the list changes, restored by reloadWordTable.
    void rememberSelection();
    static QString rowDetail(const QString& intp);

    MVWordBook& book_;
    WordBookShell* shell_;

    bool isFavoriteButtonSelected_ = true;
    QString curCategory_;
    bool isSortedByDate_ = true;
    WordRows wordList_;
    quint64 listLoads_ = 0;
    bool listRead_ = false;
    bool listHeld_ = false;  // the last list asked for could not be read
    QList<std::function<void()>> afterLoad_;
    QVector<DictQueryHistoryItem> shownHistory_;
    QList<qint64> selectedRows_;
    qint64 curWordIndex_ = 0;
    qint64 edittingWordIndex_ = 0;
    qint64 selectedCellRow_ = -1;
    bool selectedCellMoreShown_ = true;
    bool shouldResetCurCategory_ = false;
    bool clickFromBackOrForwardButton_ = false;
    bool syncBtnClicked_ = false;
    quint64 lastProgress_ = 0;
    Qt::KeyboardModifiers lastPressModifiers_ = Qt::NoModifier;
    QStringList menuWords_;
    QVector<WordBookRowEntry> menuEntries_;
    qint64 menuFirstRow_ = 0;
    bool selectionRemembered_ = false;
    bool forwardingKey_ = false;
    QStringList rememberedRows_;
    QString rememberedCell_;

    MVTableView* table_ = nullptr;
    QLabel* busyNotice_ = nullptr;  // the book could not be read: it is held
    WordListModel* model_ = nullptr;
    QStackedWidget* options_ = nullptr;
    WBClickableLabel* favoriteLabel_ = nullptr;
    WBClickableLabel* historyLabel_ = nullptr;
    WBClickableLabel* allWordsLabel_ = nullptr;
    WBClickableLabel* sortLabel_ = nullptr;
    WBClickableLabel* manageLabel_ = nullptr;
    MVClickableView* allWordsButton_ = nullptr;
    MVClickableView* sortButton_ = nullptr;
    MVClickableView* manageButton_ = nullptr;
    MVClickableView* syncBtn_ = nullptr;
    MVClickableView* favoriteAllButton_ = nullptr;
    MVClickableView* deleteAllButton_ = nullptr;

    QMenu* groupListMenu_ = nullptr;
    QMenu* sortTypeMenu_ = nullptr;
    QMenu* manageMenu_ = nullptr;
    QMenu* manageSubMenu_ = nullptr;
    QMenu* favoriteMoreMenu_ = nullptr;
    QMenu* favoriteSubMenu_ = nullptr;
    QMenu* historyMoreMenu_ = nullptr;
    QMenu* historySubMenu_ = nullptr;
    QMenu* multiSelectionMenu_ = nullptr;
    QMenu* multiSubSelectionMenu_ = nullptr;

    WBWordActionManager* actions_ = nullptr;
    CreateGroupPanelController* createPanel_ = nullptr;
    RenameGroupPanelController* renamePanel_ = nullptr;
    WBTransferController* transfer_ = nullptr;
    WBEditPanelController* editPanel_ = nullptr;
    WBAnimationManager* animation_ = nullptr;
};
