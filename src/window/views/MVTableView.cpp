#include "window/views/MVTableView.h"

#include "window/WindowLog.h"

#include <QDebug>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {
MVTableView::TypingHandler& typingHandler() {
    static MVTableView::TypingHandler handler;
    return handler;
}
}  // namespace

MVTableView::MVTableView(QWidget* parent) : QTableView(parent) {
    setMouseTracking(true);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
}

void MVTableView::setTypingHandler(TypingHandler handler) { typingHandler() = std::move(handler); }

int MVTableView::numberOfRows() const { return model() ? model()->rowCount(rootIndex()) : 0; }

qint64 MVTableView::rowAtPoint(const QPoint& p) const {
    const int row = rowAt(p.y());
    return (row >= 0 && row < numberOfRows()) ? row : -1;
}

void MVTableView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && delegate_ &&
        delegate_->tableViewRightMouseDownInTableRow(this, rowAtPoint(e->position().toPoint())))
        return;
    if (e->button() == Qt::LeftButton && delegate_) {
        const qint64 row = rowAtPoint(e->position().toPoint());
        if (row >= 0) {
            delegate_->tableViewDidClickTableRow(this, row);
            lastEnteredRow_ = row;
        }
        return;  // the delegate owns the selection
    }
    QTableView::mousePressEvent(e);
}

void MVTableView::mouseMoveEvent(QMouseEvent* e) {
    QTableView::mouseMoveEvent(e);
    if (!delegate_) return;
    const qint64 row = rowAtPoint(e->position().toPoint());
    if (row < 0 || row == lastEnteredRow_) return;
    delegate_->tableViewMouseExitedFromTableRow(this, lastEnteredRow_);
    delegate_->tableViewMouseEnteredInTableRow(this, row);
    lastEnteredRow_ = row;
}

void MVTableView::enterEvent(QEnterEvent* e) {
    QTableView::enterEvent(e);
    if (!delegate_) return;
    const qint64 row = rowAtPoint(viewport()->mapFromGlobal(e->globalPosition().toPoint()));
    if (row >= 0) {
        delegate_->tableViewMouseEnteredInTableRow(this, row);
        lastEnteredRow_ = row;
    }
}

void MVTableView::leaveEvent(QEvent* e) {
    QTableView::leaveEvent(e);
    if (delegate_ && lastEnteredRow_ != -1)
        delegate_->tableViewMouseExitedFromTableRow(this, lastEnteredRow_);
    lastEnteredRow_ = -1;
}

void MVTableView::wheelEvent(QWheelEvent* e) {
    if (numberOfRows() == 0) {
        e->accept();
        return;
    }
    if (delegate_) delegate_->tableViewDidScrollWheel(this);
    QTableView::wheelEvent(e);
}

void MVTableView::keyPressEvent(QKeyEvent* e) {
    const int rows = numberOfRows();
    switch (e->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (delegate_) delegate_->tableViewDeleteTableRow(this, static_cast<qint64>(curSelectedRow_));
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        qCDebug(lcWindow) << "table view: horizontal arrow ignored";
        return;
    case Qt::Key_Down:
        if (delegate_ && rows > 0 && curSelectedRow_ < static_cast<quint64>(rows - 1))
            delegate_->tableViewDidClickTableRow(this, static_cast<qint64>(curSelectedRow_) + 1);
        return;
    case Qt::Key_Up:
        if (delegate_ && curSelectedRow_ != 0)
            delegate_->tableViewDidClickTableRow(this, static_cast<qint64>(curSelectedRow_) - 1);
        return;
    default:
        break;
    }
    const QString text = e->text();
    // Only printable text reaches the search field; control characters stay here.
    bool printable = !text.isEmpty();
    for (QChar c : text)
        if (!c.isPrint()) printable = false;
    if (printable && typingHandler()) {
        typingHandler()(text);
        return;
    }
    QTableView::keyPressEvent(e);
}
