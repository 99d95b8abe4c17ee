#include "capture/MiniSearchWndController.h"

#include "capture/CaptureRoad.h"
#include "capture/MiniSearchBridge.h"
#include "capture/MiniSearchQueryController.h"
#include "platform/ColorScheme.h"
#include "query/DictUtils.h"
#include "window/FrameWndController.h"
#include "window/ImageLibrary.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/pages/WebPageHost.h"

#include <QCursor>
#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLoggingCategory>
#include <QScreen>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {
Q_LOGGING_CATEGORY(lcMiniWnd, "mirvok.capture.miniwindow", QtInfoMsg)

// A tray click that arrives this soon after the same click took the focus
// away (and so hid the window) is the toggle closing it, not a new opening.
constexpr qint64 kToggleGraceMs = 300;

void log(const QString& value) { ShellServices::logEvent(QStringLiteral("action"), value); }

FrameWndController* frame() { return qobject_cast<FrameWndController*>(DictUtils::appDelegate()); }

void configureTable(MVTableView* t, QStandardItemModel* m, int rowHeight, const QColor& background) {
    t->setModel(m);
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Rows are spaced by 2 points, as the layout arithmetic counts them.
    t->verticalHeader()->setDefaultSectionSize(rowHeight + 2);
    t->horizontalHeader()->setStretchLastSection(true);
    t->setShowGrid(false);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The field keeps the keyboard; the lists follow it.
    t->setFocusPolicy(Qt::NoFocus);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setFrameShape(QFrame::NoFrame);
    t->setTextElideMode(Qt::ElideRight);
    t->setWordWrap(false);
    // The ground in the style sheet too: a style sheet polished later would
    // otherwise paint the application palette's base under the rows.
    t->setStyleSheet(QStringLiteral("QTableView { background: %1; } QTableView::item { padding-left: 10px; border: none; }")
                         .arg(background.name()));
    QPalette pal = t->palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Highlight, QColor(58, 111, 176));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    t->setPalette(pal);
}

void fill(QStandardItemModel* m, const QStringList& rows) {
    m->clear();
    m->setColumnCount(1);
    for (const QString& r : rows) m->appendRow(new QStandardItem(r));
}

}  // namespace

MiniSearchWndController::MiniSearchWndController() { setUpWindow(); }

MiniSearchWndController::~MiniSearchWndController() {
    delete statusItem_;
    delete window_;
}

void MiniSearchWndController::setUpWindow() {
    noLayeredView_ = new MVMiniSearchContentView();
    window_ = noLayeredView_;
    window_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window_->setWindowTitle(QStringLiteral("米沃词典"));
    if (CaptureRoad::current().translucentWindows()) window_->setAttribute(Qt::WA_TranslucentBackground);
    window_->installEventFilter(this);

    searchFieldBackView_ = new MiniSearchFieldView(window_);
    miniSearchField_ = new MVMiniSearchField(searchFieldBackView_);
    miniSearchField_->commandHandler = [this](MVMiniSearchField::Command c) { return doCommand(c); };
    connect(miniSearchField_, &QLineEdit::textEdited, this, &MiniSearchWndController::controlTextDidChange);

    resultModel_ = new QStandardItemModel(this);
    optionModel_ = new QStandardItemModel(this);
    resultTableView_ = new MVTableView(window_);
    optionTableView_ = new MVTableView(window_);
    // Lists and field in the desktop's light or dark scheme, followed live.
    auto recolor = [this] {
        const ColorScheme& scheme = ColorScheme::shared();
        configureTable(resultTableView_, resultModel_, kResultRowHeight,
                       scheme.pick(QColor(231, 231, 231), QColor(0x33, 0x33, 0x36)));
        configureTable(optionTableView_, optionModel_, kOptionRowHeight,
                       scheme.pick(QColor(244, 244, 244), QColor(0x2b, 0x2b, 0x2e)));
        searchFieldBackView_->setBackground(scheme.pick(QColor(216, 216, 216), QColor(0x3a, 0x3a, 0x3e)));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    resultTableView_->setMVTableViewDelegate(this);
    optionTableView_->setMVTableViewDelegate(this);

    queryController_ = new MiniSearchQueryController(this);

    setupSearchField();
    setupMenuItem();
}

WebPageHost* MiniSearchWndController::pageHost() {
    // Made on the first opening: the tray icon alone needs no renderer.
    if (host_) return host_;
    host_ = new WebPageHost(window_);
    host_->setBridgeMethods({{QStringLiteral("resizeWnd"), 1}});
    host_->setBridgeObject(new MiniSearchBridge(queryController_, this));
    host_->setNavigationFilter([](const QUrl&) { return false; });
    host_->view()->setFocusPolicy(Qt::NoFocus);
    host_->view()->setContextMenuPolicy(Qt::NoContextMenu);
    host_->view()->setGeometry(0, kFieldHeight, kWidth, 1);
    host_->view()->lower();
    host_->view()->show();
    host_->loadResourcePage(QStringLiteral("minisearch.html"));
    queryController_->setPageHost(host_);
    return host_;
}

void MiniSearchWndController::awakeFromNib() {
    if (hasAwakedFromNib_) return;
    hasAwakedFromNib_ = true;
    setupStatusItem();
}

void MiniSearchWndController::setupStatusItem() {
    if (statusItem_) return;
    statusItem_ = new QSystemTrayIcon(ImageLibrary::icon(QStringLiteral("retina_topicon")));
    statusItem_->setToolTip(QStringLiteral("米沃词典"));
    connect(statusItem_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick) showMiniWindowByClick();
    });
    statusItem_->show();
}

void MiniSearchWndController::showMiniWindowByClick() {
    const bool justHidden =
        hiddenByFocusAt_ >= 0 && QDateTime::currentMSecsSinceEpoch() - hiddenByFocusAt_ < kToggleGraceMs;
    if (!justHidden) showMiniWindow();
    log(QStringLiteral("tab_mini"));
}

void MiniSearchWndController::setupSearchField() {
    searchFieldBackView_->setGeometry(0, 0, kWidth, kFieldHeight);
    miniSearchField_->setGeometry(10, 8, kWidth - 20, kFieldHeight - 16);
}

void MiniSearchWndController::setupMenuItem() { rebuildLayout(); }

void MiniSearchWndController::changeSearchFieldColor() { miniSearchField_->setFillColor(QColor(10, 80, 208)); }

// ------------------------------------------------------------------ layout

QRect MiniSearchWndController::placeWindow(const QRect& icon, const QSize& size, const QRect& available) {
    const int w = size.width();
    const int h = size.height();
    int x = available.right() + 1 - w;
    int y = available.top();
    if (icon.isValid() && !icon.isEmpty()) {
        x = icon.left();
        y = icon.bottom() + 1;
        // A panel at the bottom: the window rises above the icon.
        if (y + h > available.bottom() + 1 && icon.top() - h >= available.top()) y = icon.top() - h;
    }
    x = qBound(available.left(), x, qMax(available.left(), available.right() + 1 - w));
    y = qBound(available.top(), y, qMax(available.top(), available.bottom() + 1 - h));
    return {QPoint(x, y), size};
}

QRect MiniSearchWndController::availableGeometry() const {
    if (available_) return available_();
    QPoint at = QCursor::pos();
    if (statusItem_ && !statusItem_->geometry().isEmpty()) at = statusItem_->geometry().center();
    QScreen* s = QGuiApplication::screenAt(at);
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1280, 1024);
}

void MiniSearchWndController::placeWindow(int height) {
    const QRect icon = iconGeometry_ ? iconGeometry_() : (statusItem_ ? statusItem_->geometry() : QRect());
    const QRect r = placeWindow(icon, QSize(kWidth, height), availableGeometry());
    // The window cannot be resized: its size follows its content.
    window_->setFixedSize(r.size());
    window_->move(r.topLeft());
}

void MiniSearchWndController::reloadOptions() { fill(optionModel_, menuItemTitles_); }
void MiniSearchWndController::reloadResults() { fill(resultModel_, resultArray_); }

void MiniSearchWndController::rebuildLayout() {
    menuItemTitles_ = {QStringLiteral("打开词典"), QStringLiteral("偏好设置"), QStringLiteral("退出")};
    reloadOptions();
    const int options = (kOptionRowHeight + 2) * int(menuItemTitles_.size()) + 2;
    const int results = (kResultRowHeight + 2) * int(resultTitles_.size());
    const int total = options + results + kFieldHeight;
    placeWindow(total);
    resultTableView_->setGeometry(0, kFieldHeight, kWidth, results);
    resultTableView_->setVisible(results > 0);
    optionTableView_->setGeometry(0, total - options, kWidth, options);
    // Kept a line high behind the lists, so the page lays out at the
    // window's width before it is shown.
    if (host_) {
        host_->view()->setGeometry(0, kFieldHeight, kWidth, 1);
        host_->view()->lower();
    }
    deselectAll();
    isSelectedFromTableView_ = false;
    isSelectedInOptionView_ = false;
    isShowingResultView_ = false;
}

void MiniSearchWndController::buildResultLayout() {
    clearTableView();
    menuItemTitles_ = {QStringLiteral("查看详细释义")};
    reloadOptions();
    const int options = (kOptionRowHeight + 4) * 1 + 2;
    const int page = queryController_->resultHeight();
    const int total = (kOptionRowHeight + 4) * 1 + page + kFieldHeight + 4;
    placeWindow(total);
    pageHost()->view()->setGeometry(0, kFieldHeight, kWidth, page);
    host_->view()->raise();
    optionTableView_->setGeometry(0, total - options, kWidth, options);
    isShowingResultView_ = true;
    emit resultShown();
}

void MiniSearchWndController::clearTableView() {
    resultArray_.clear();
    resultTitles_.clear();
    reloadResults();
    rebuildLayout();
}

// --------------------------------------------------------------- selection

int MiniSearchWndController::selectedRow(MVTableView* table) const {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MiniSearchWndController::selectRow(MVTableView* table, int row) {
    if (row < 0 || row >= table->model()->rowCount()) return;
    const QModelIndex index = table->model()->index(row, 0);
    table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MiniSearchWndController::deselectAll() {
    resultTableView_->clearSelection();
    optionTableView_->clearSelection();
}

// ------------------------------------------------------------------ typing

void MiniSearchWndController::controlTextDidChange(const QString& text) {
    // What was being looked up is no longer what the field says.
    queryController_->dropResultQuery();
    if (!text.isEmpty()) {
        doQueryInMiniSearchWindow(text);
    } else {
        clearTableView();
        setupSearchField();
    }
}

void MiniSearchWndController::doQueryInMiniSearchWindow(const QString& word) {
    if (miniSearchField_->text() != word) miniSearchField_->setText(word);
    const quint64 results = resultQueries_;
    queryController_->doQueryWithType(
        word, 1,
        [this, results](const QStringList& titles, const QStringList& rows) {
            // A short result asked for since: its page takes the window.
            if (results != resultQueries_) return;
            resultTitles_ = titles;
            resultArray_ = rows;
            reloadResults();
            rebuildLayout();
            emit suggestionsShown();
        },
        {});
}

void MiniSearchWndController::queryResult(const QString& word) {
    ++resultQueries_;
    const int fixed = (kOptionRowHeight + 4) + kFieldHeight + 4;
    queryController_->setMaxResultHeight(qMax(1, availableGeometry().height() - fixed));
    queryController_->doQueryWithType(word, 0, {}, [this] { buildResultLayout(); });
}

bool MiniSearchWndController::doCommand(MVMiniSearchField::Command command) {
    switch (command) {
    case MVMiniSearchField::InsertNewline:
        doInsertNewLineCommand();
        return true;
    case MVMiniSearchField::Paste: {
        // The pasted text is what gets looked up, not the text before it.
        const QString text = CaptureRoad::current().clipboardText();
        if (!text.isEmpty()) miniSearchField_->insert(text);
        isSelectedFromTableView_ = false;
        isSelectedInOptionView_ = false;
        const QString now = miniSearchField_->text();
        if (!now.isEmpty()) {
            queryController_->dropResultQuery();
            queryResult(now);
            log(QStringLiteral("miniWindow_Query"));
        }
        return true;
    }
    case MVMiniSearchField::MoveDown:
        doMoveDownCommand();
        return true;
    case MVMiniSearchField::MoveUp:
        doMoveUpCommand();
        return true;
    case MVMiniSearchField::CancelOperation:
        if (miniSearchField_->text().isEmpty()) hideMiniWindow();
        return true;
    }
    return false;
}

void MiniSearchWndController::doInsertNewLineCommand() {
    if (isShowingResultView_) {
        openMainWindow();
        return;
    }
    if (isSelectedFromTableView_) {
        if (isSelectedInOptionView_) {
            const int row = selectedRow(optionTableView_);
            isSelectedInOptionView_ = false;
            isSelectedFromTableView_ = false;
            runOption(row);
        } else {
            const int row = selectedRow(resultTableView_);
            isSelectedInOptionView_ = false;
            isSelectedFromTableView_ = false;
            if (row >= 0 && row < resultTitles_.size()) {
                const QString word = resultTitles_.at(row);
                miniSearchField_->setText(word);
                qCDebug(lcMiniWnd) << "doQuery";
                queryResult(word);
                log(QStringLiteral("miniWindow_Query"));
            }
        }
        return;
    }
    const QString text = miniSearchField_->text();
    if (!text.isEmpty()) {
        queryResult(text);
        log(QStringLiteral("miniWindow_Query"));
    }
}

void MiniSearchWndController::doMoveDownCommand() {
    if (isSelectedInOptionView_) {
        const int row = selectedRow(optionTableView_);
        // Past the last option the selection stays where it is.
        selectRow(optionTableView_, row < 0 ? 0 : qMin(row + 1, int(menuItemTitles_.size()) - 1));
    } else {
        const int row = selectedRow(resultTableView_);
        if (row + 1 >= resultTitles_.size()) {
            resultTableView_->clearSelection();
            selectRow(optionTableView_, 0);
            isSelectedInOptionView_ = true;
        } else {
            selectRow(resultTableView_, row + 1);
        }
    }
    isSelectedFromTableView_ = true;
}

void MiniSearchWndController::doMoveUpCommand() {
    if (isSelectedInOptionView_) {
        const int row = selectedRow(optionTableView_);
        if (row < 0) {
            isSelectedFromTableView_ = false;
        } else if (row > 0) {
            selectRow(optionTableView_, row - 1);
        } else {
            optionTableView_->clearSelection();
            isSelectedInOptionView_ = false;
            if (isSelectedFromTableView_) {
                if (!resultTitles_.isEmpty())
                    selectRow(resultTableView_, int(resultTitles_.size()) - 1);
                else
                    isSelectedFromTableView_ = false;
            }
        }
    } else if (isSelectedFromTableView_) {
        // Above the first suggestion the selection stays where it is.
        const int row = selectedRow(resultTableView_);
        if (row > 0) selectRow(resultTableView_, row - 1);
    }
}

// ----------------------------------------------------------------- pointer

void MiniSearchWndController::tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row) {
    if (row < 0) return;
    isSelectedInOptionView_ = table == optionTableView_;
    isSelectedFromTableView_ = true;
    (table == optionTableView_ ? resultTableView_ : optionTableView_)->clearSelection();
    selectRow(table, int(row));
}

void MiniSearchWndController::tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row) {
    if (row != -1 && selectedRow(table) == row) table->clearSelection();
}

void MiniSearchWndController::tableViewDidClickTableRow(MVTableView* table, qint64 row) {
    if (row < 0) return;
    if (table == resultTableView_) {
        if (row >= resultTitles_.size()) return;
        const QString word = resultTitles_.at(row);
        miniSearchField_->setText(word);
        queryResult(word);
        return;
    }
    if (row >= menuItemTitles_.size()) return;
    if (row == 1 && !isShowingResultView_) {
        log(QStringLiteral("mini_preference"));
        openPreferencePanelWindow();
    } else if (row == 0) {
        log(miniSearchField_->text().isEmpty() ? QStringLiteral("mini_open") : QStringLiteral("mini_lookup_detail"));
        openMainWindow();
    } else {
        log(QStringLiteral("mini_exit"));
        terminateApp();
    }
}

void MiniSearchWndController::runOption(int row) {
    if (row == 0) openMainWindow();
    else if (row == 1) openPreferencePanelWindow();
    else if (row == 2) terminateApp();
}

// ------------------------------------------------------- showing, hiding

void MiniSearchWndController::showMiniWindow() {
    if (isShowingWindow_) {
        hideMiniWindow();
        return;
    }
    previousWindow_ = CaptureRoad::current().focusedOtherWindow();
    pageHost();
    rebuildLayout();
    // The key may have been set since the window was made.
    miniSearchField_->setPlaceholderText(MVMiniSearchField::placeholderForStoredKey());
    window_->show();
    window_->raise();
    window_->activateWindow();
    CaptureRoad::current().focusShownWindow(quint64(window_->winId()));
    deselectAll();
    miniSearchField_->setFocus(Qt::ActiveWindowFocusReason);
    isShowingWindow_ = true;
    activeSinceShown_ = false;
}

void MiniSearchWndController::hideMiniWindow() {
    const bool giveBack = previousWindow_ && !willOpenMainWindow_;
    if (giveBack) {
        if (FrameWndController* f = frame()) f->window()->hide();
    }
    window_->hide();
    isShowingWindow_ = false;
    if (giveBack) CaptureRoad::current().giveFocusBack(previousWindow_);
    previousWindow_ = 0;
}

void MiniSearchWndController::openMainWindow() {
    willOpenMainWindow_ = true;
    hideMiniWindow();
    if (FrameWndController* f = frame()) {
        f->showWindow();
        const QString text = miniSearchField_->text();
        if (!text.isEmpty()) {
            f->changeViewController(0);
            if (f->lookupPage()) f->lookupPage()->hideSuggestTableView();
            f->chaciClick(text);
        }
    }
    willOpenMainWindow_ = false;
}

void MiniSearchWndController::openPreferencePanelWindow() {
    willOpenMainWindow_ = true;
    // Hidden first: the preferences taking the focus must not send it back
    // to the application that had it.
    hideMiniWindow();
    if (FrameWndController* f = frame()) f->showPreferencePanel();
    willOpenMainWindow_ = false;
}

void MiniSearchWndController::terminateApp() {
    // The quit guard may ask first; its alert must not lose to the window
    // that had the focus.
    willOpenMainWindow_ = true;
    hideMiniWindow();
    willOpenMainWindow_ = false;
    if (FrameWndController* f = frame())
        f->requestQuit();
    else
        QCoreApplication::exit(0);
}

bool MiniSearchWndController::eventFilter(QObject* watched, QEvent* e) {
    if (watched == window_ && e->type() == QEvent::WindowActivate && isShowingWindow_)
        activeSinceShown_ = true;
    // A focus loss before this showing had the focus is the last showing's,
    // delivered late (the compositor's word crossing a quick hide and show).
    if (watched == window_ && e->type() == QEvent::WindowDeactivate && isShowingWindow_ && activeSinceShown_) {
        hideMiniWindow();
        hiddenByFocusAt_ = QDateTime::currentMSecsSinceEpoch();
    }
    return QObject::eventFilter(watched, e);
}
