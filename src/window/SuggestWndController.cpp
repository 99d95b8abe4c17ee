#include "window/SuggestWndController.h"

#include "platform/ColorScheme.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "window/views/MVTableView.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>

void SuggestWndBackView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 3, 3);
    const ColorScheme& scheme = ColorScheme::shared();
    p.fillPath(path, scheme.pick(QColor(250, 250, 250), QColor(0x2b, 0x2b, 0x2d)));
    p.setPen(scheme.pick(QColor(0, 0, 0, 40), QColor(255, 255, 255, 40)));
    p.drawPath(path);
}

SuggestWndController& SuggestWndController::sharedInstance() {
    static SuggestWndController* instance = new SuggestWndController();
    return *instance;
}

SuggestWndController::SuggestWndController() {
    window_ = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                       Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint);
    window_->setAttribute(Qt::WA_TranslucentBackground);
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setObjectName(QStringLiteral("SuggestWindow"));
    back_ = new SuggestWndBackView(window_);
    table_ = new MVTableView(back_);
    table_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    auto recolor = [this] {
        table_->setStyleSheet(ColorScheme::shared().pick(
            QStringLiteral("QTableView{background:transparent;color:black;selection-background-color:#e3e3e3;"
                           "selection-color:black;}"),
            QStringLiteral("QTableView{background:transparent;color:#e6e6e6;selection-background-color:#3d3d40;"
                           "selection-color:white;}")));
        back_->update();
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setFixedHeight(0);
    window_->installEventFilter(this);
    NotificationCenter::defaultCenter().addObserver(
        MVCloseSuggestWndNotificatioin, this, [this](const Notification&) { hideSuggestWindow(); });
}

SuggestWndController::~SuggestWndController() { delete window_; }

void SuggestWndController::setModel(QAbstractItemModel* model) {
    table_->setModel(model);
    reloadData();
}

void SuggestWndController::setAnchors(QWidget* toolbarView, QWidget* searchFieldView,
                                      QWidget* searchField) {
    toolbarView_ = toolbarView;
    searchFieldView_ = searchFieldView;
    searchField_ = searchField;
}

int SuggestWndController::tableHeight() const {
    if (tableHidden_) return 0;
    return table_->numberOfRows() * kRowHeight;
}

void SuggestWndController::setTableHidden(bool hidden) {
    tableHidden_ = hidden;
    table_->setFixedHeight(tableHeight());
    if (hidden) hideSuggestWindow();
}

void SuggestWndController::reloadData() {
    table_->setFixedHeight(tableHeight());
    table_->clearSelection();
}

QRect SuggestWndController::frameFor(const QPoint& searchFieldGlobal, int toolbarGlobalBottom,
                                     int searchBoxGapToToolbarBottom, int tableHeight) {
    const int h = tableHeight + 2 * kPadding;
    if (tableHeight <= 0) return QRect();
    const int x = searchFieldGlobal.x() - 16;
    const int y = toolbarGlobalBottom + searchBoxGapToToolbarBottom;
    return QRect(x, y, kWidth, h);
}

void SuggestWndController::showSuggestWindow() {
    if (!toolbarView_ || !searchFieldView_ || !searchField_) return;
    const QPoint fieldGlobal = searchField_->mapToGlobal(QPoint(0, 0));
    const int toolbarBottom = toolbarView_->mapToGlobal(QPoint(0, toolbarView_->height())).y();
    const QRect box = searchFieldView_->geometry();
    const int gap = toolbarView_->height() - (box.y() + box.height());
    const QRect frame = frameFor(fieldGlobal, toolbarBottom, gap, tableHeight());
    if (frame.isNull()) return;
    window_->setGeometry(frame);
    back_->setGeometry(0, 0, frame.width(), frame.height());
    // Panel shows kPadding above and below the rows.
    table_->setGeometry(0, kPadding, frame.width(), frame.height() - 2 * kPadding);
    window_->show();
    window_->raise();
}

void SuggestWndController::hideSuggestWindow() { window_->hide(); }

bool SuggestWndController::isVisible() const { return window_->isVisible(); }

int SuggestWndController::selectedRow() const {
    const QItemSelectionModel* sel = table_->selectionModel();
    if (!sel) return -1;
    const QModelIndexList rows = sel->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SuggestWndController::selectRow(int row) {
    if (row < 0 || row >= table_->numberOfRows()) return;
    table_->selectRow(row);
    table_->setCurSelectedRow(static_cast<quint64>(row));
}

bool SuggestWndController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::WindowDeactivate) hideSuggestWindow();
    return QObject::eventFilter(watched, event);
}
