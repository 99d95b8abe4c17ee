#pragma once

#include <QColor>
#include <QWidget>

// The popup's rounded white background (radius 4); the window itself.
class MVScrTranRoundWndView : public QWidget {
    Q_OBJECT
public:
    explicit MVScrTranRoundWndView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

// The coloured corner behind the favourite button: the top-right half of its
// square shows the colour, the rest is white.
class MVScrTransTriangleVIew : public QWidget {
    Q_OBJECT
public:
    explicit MVScrTransTriangleVIew(QWidget* parent = nullptr);
    void setColor(const QColor& c);
    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QColor color_;
};
