#pragma once

#include <QTableView>
#include <functional>

class MVTableView;

// Row events of an MVTableView. The three row reports are required; the
// others are optional: answer false when not handled, and the table then
// behaves as a plain table would.
class MVTableViewDelegate {
public:
    virtual ~MVTableViewDelegate() = default;
    virtual void tableViewDidClickTableRow(MVTableView* table, qint64 row) = 0;
    virtual void tableViewMouseEnteredInTableRow(MVTableView* table, qint64 row) = 0;
    virtual void tableViewMouseExitedFromTableRow(MVTableView* table, qint64 row) = 0;
    virtual bool tableViewRightMouseDownInTableRow(MVTableView*, qint64) { return false; }
    virtual bool tableViewDidScrollWheel(MVTableView*) { return false; }
    virtual bool tableViewDeleteTableRow(MVTableView*, qint64) { return false; }
};

// A table that reports hover, clicks and keys to its delegate instead of
// changing its own selection; typing on it goes to the search field.
class MVTableView : public QTableView {
    Q_OBJECT
public:
    explicit MVTableView(QWidget* parent = nullptr);

    void setMVTableViewDelegate(MVTableViewDelegate* d) { delegate_ = d; }
    MVTableViewDelegate* mvTableViewDelegate() const { return delegate_; }

    quint64 curSelectedRow() const { return curSelectedRow_; }
    void setCurSelectedRow(quint64 r) { curSelectedRow_ = r; }
    qint64 lastEnteredRow() const { return lastEnteredRow_; }
    bool isCmdKeyPressing = false;
    bool isShiftKeyPressing = false;

    int numberOfRows() const;
    // Row under a point in viewport coordinates, -1 off the rows.
    qint64 rowAtPoint(const QPoint& p) const;

    // Where typed characters go (the main window sets it to its search field).
    using TypingHandler = std::function<void(const QString& text)>;
    static void setTypingHandler(TypingHandler handler);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    MVTableViewDelegate* delegate_ = nullptr;
    quint64 curSelectedRow_ = 0;
    qint64 lastEnteredRow_ = 0;
};
