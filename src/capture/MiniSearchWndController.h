#pragma once

#include "capture/MiniSearchViews.h"
#include "window/views/MVTableView.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <functional>

class MiniSearchBridge;
class MiniSearchQueryController;
class QStandardItemModel;
class QSystemTrayIcon;
class WebPageHost;

// The mini search window: a small frameless window that drops from the tray
// icon (or opens with the mini-search hotkey) with a search field on top,
// suggestion rows while the user types, the short result page after Return,
// and option rows at the bottom ("打开词典", "偏好设置", "退出"; in result
// mode "查看详细释义"). It hides when it loses the focus and then gives the
// focus back to the window of the application that had it. Main thread only.
class MiniSearchWndController : public QObject, public MVTableViewDelegate {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;
    static constexpr int kFieldHeight = 44;
    static constexpr int kOptionRowHeight = 26;
    static constexpr int kResultRowHeight = 24;

    MiniSearchWndController();
    ~MiniSearchWndController() override;

    // Once: the query controller and the tray icon.
    void awakeFromNib();
    void setupStatusItem();
    void showMiniWindowByClick();

    void showMiniWindow();
    void hideMiniWindow();
    void openMainWindow();
    void openPreferencePanelWindow();
    void terminateApp();
    void rebuildLayout();
    void buildResultLayout();
    void clearTableView();
    void doQueryInMiniSearchWindow(const QString& word);
    void changeSearchFieldColor();

    // The field.
    void controlTextDidChange(const QString& text);
    bool doCommand(MVMiniSearchField::Command command);
    void doInsertNewLineCommand();
    void doMoveDownCommand();
    void doMoveUpCommand();

    // MVTableViewDelegate.
    void tableViewDidClickTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row) override;
    void tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row) override;

    // Where a window of `size` goes for a tray icon at `icon` (empty: no
    // tray): below the icon, above it when the panel is at the bottom, the
    // top-right corner without one; always inside `available`.
    static QRect placeWindow(const QRect& icon, const QSize& size, const QRect& available);

    bool isShowingWindow() const { return isShowingWindow_; }
    bool isShowingResultView() const { return isShowingResultView_; }
    bool isSelectedFromTableView() const { return isSelectedFromTableView_; }
    bool isSelectedInOptionView() const { return isSelectedInOptionView_; }
    QStringList menuItemTitles() const { return menuItemTitles_; }
    QStringList resultArray() const { return resultArray_; }
    QStringList resultTitles() const { return resultTitles_; }
    int selectedRow(MVTableView* table) const;

    QWidget* window() const { return window_; }
    MVMiniSearchField* searchField() const { return miniSearchField_; }
    MVTableView* resultTableView() const { return resultTableView_; }
    MVTableView* optionTableView() const { return optionTableView_; }
    MiniSearchQueryController* queryController() const { return queryController_; }
    // The result page, made on first use.
    WebPageHost* pageHost();
    QSystemTrayIcon* statusItem() const { return statusItem_; }

    // Seams: the tray icon's place, and the screen area the window keeps to.
    void setIconGeometryFunction(std::function<QRect()> f) { iconGeometry_ = std::move(f); }
    void setAvailableGeometryFunction(std::function<QRect()> f) { available_ = std::move(f); }

signals:
    // The window is in list mode after a suggestion answer, or in result
    // mode with its page sized (benchmarks and tests wait on these).
    void suggestionsShown();
    void resultShown();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void setUpWindow();
    void setupSearchField();
    void setupMenuItem();
    void reloadOptions();
    void reloadResults();
    void selectRow(MVTableView* table, int row);
    void deselectAll();
    void runOption(int row);
    void queryResult(const QString& word);
    void placeWindow(int height);
    QRect availableGeometry() const;

    QWidget* window_ = nullptr;
    MVMiniSearchContentView* noLayeredView_ = nullptr;
    MiniSearchFieldView* searchFieldBackView_ = nullptr;
    MVMiniSearchField* miniSearchField_ = nullptr;
    MVTableView* resultTableView_ = nullptr;
    MVTableView* optionTableView_ = nullptr;
    QStandardItemModel* resultModel_ = nullptr;
    QStandardItemModel* optionModel_ = nullptr;
    WebPageHost* host_ = nullptr;
    QSystemTrayIcon* statusItem_ = nullptr;
    MiniSearchQueryController* queryController_ = nullptr;

    QStringList menuItemTitles_;
    QStringList resultArray_;
    QStringList resultTitles_;
    quint64 previousWindow_ = 0;
    bool isShowingWindow_ = false;
    bool activeSinceShown_ = false;
    bool isShowingResultView_ = false;
    bool isSelectedFromTableView_ = false;
    bool isSelectedInOptionView_ = false;
    bool willOpenMainWindow_ = false;
    bool hasAwakedFromNib_ = false;
    quint64 resultQueries_ = 0;
    qint64 hiddenByFocusAt_ = -1;
    std::function<QRect()> iconGeometry_;
    std::function<QRect()> available_;
};
