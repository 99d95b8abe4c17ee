#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

class MVClickableView;

class MVClickableViewDelegate {
public:
    virtual ~MVClickableViewDelegate() = default;
    virtual void didClickOnView(MVClickableView* view) = 0;
    // Optional: answer false to leave the event to the default handling.
    virtual bool didMouseUpFromView(MVClickableView*) { return false; }
    virtual bool didMouseEnteredInView(MVClickableView*) { return false; }
    virtual bool didMouseExitedFromView(MVClickableView*) { return false; }
};

// A plain area that reports mouse-down, mouse-up and hover to its delegate
// (the back/forward buttons, the translation page's buttons, word-book cells).
class MVClickableView : public QWidget {
    Q_OBJECT
public:
    explicit MVClickableView(QWidget* parent = nullptr);

    void setDelegate(MVClickableViewDelegate* d) { delegate_ = d; }
    MVClickableViewDelegate* delegate() const { return delegate_; }
    QLabel* imageView() const { return imageView_; }
    void setImageView(QLabel* v) { imageView_ = v; }
    QLabel* titleLabel() const { return titleLabel_; }
    void setTitleLabel(QLabel* l) { titleLabel_ = l; }
    qint64 rowIndex = 0;
    bool isStateOn = false;

    // Hover is reported only inside this rectangle (widget coordinates).
    void addTrackingAreaWithRect(const QRect& rect);
    void removeTrackingArea();
    void setBackgroundColor(const QColor& c);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    MVClickableViewDelegate* delegate_ = nullptr;
    QPointer<QLabel> imageView_;
    QPointer<QLabel> titleLabel_;
    QRect tracking_;
    bool tracking_on_ = false;
    QColor background_ = Qt::transparent;
};
