#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

class MVToolBarItemView;

class MVToolBarItemViewDelegate {
public:
    virtual ~MVToolBarItemViewDelegate() = default;
    virtual void didClickOnItemView(MVToolBarItemView* item) = 0;
    // Optional: answer false to leave the mouse-up to the view's default handling.
    virtual bool didMouseUpFromItemView(MVToolBarItemView*) { return false; }
};

// An item of the toolbar or the bottom bar: a picture, an optional title and
// an on/off state kept by its owner. It reports clicks and never acts itself.
class MVToolBarItemView : public QWidget {
    Q_OBJECT
public:
    explicit MVToolBarItemView(QWidget* parent = nullptr);

    void setMvToolBarItemViewDelegate(MVToolBarItemViewDelegate* d) { delegate_ = d; }
    MVToolBarItemViewDelegate* mvToolBarItemViewDelegate() const { return delegate_; }

    QLabel* imageView() const { return imageView_; }
    void setImageView(QLabel* v) { imageView_ = v; }
    QLabel* titleLabel() const { return titleLabel_; }
    void setTitleLabel(QLabel* l) { titleLabel_ = l; }

    QString imageNomalName() const { return normal_; }
    void setImageNomalName(const QString& n) { normal_ = n; }
    QString imagePressedName() const { return pressed_; }
    void setImagePressedName(const QString& n) { pressed_ = n; }
    bool isSeleted() const { return selected_; }
    void setIsSeleted(bool s) { selected_ = s; }

    // Shows the named image in the image view, cross-fading over `seconds`.
    void changeImageViewWithName(const QString& name, double seconds);
    QString currentImageName() const { return currentImage_; }

    void setBackgroundColor(const QColor& c);
    void setCornerRadius(qreal r) { radius_ = r; update(); }

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    MVToolBarItemViewDelegate* delegate_ = nullptr;
    QPointer<QLabel> imageView_;
    QPointer<QLabel> titleLabel_;
    QString normal_, pressed_, currentImage_;
    bool selected_ = false;
    QColor background_ = Qt::transparent;
    qreal radius_ = 0;
};
