#pragma once

#include <QLabel>
#include <QRect>
#include <QWidget>

// Backgrounds and small controls that only draw, plus the label that
// reports clicks. Colours are the application's palette.

// Rounded box behind the back and forward buttons, with a divider.
class MVSegmentView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent* e) override;
};

// White rounded box holding the language button and the search field.
class MVSearchFieldView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent* e) override;
};

// Plain white background (the bottom bar).
class MVCustomView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent* e) override;
};

// Dark translucent rounded panel of the HUD.
class MVHUDView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
protected:
    void paintEvent(QPaintEvent* e) override;
};

class MVClickableLabel;
class MVClickableLabelDelegate {
public:
    virtual ~MVClickableLabelDelegate() = default;
    virtual bool didClickOnLabel(MVClickableLabel*) { return false; }
};

class MVClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setMvClickableLabelDelegate(MVClickableLabelDelegate* d) { delegate_ = d; }
protected:
    void mousePressEvent(QMouseEvent* e) override;
private:
    MVClickableLabelDelegate* delegate_ = nullptr;
};

// Rectangle in which a single line of text of the given font metrics sits
// vertically centred: inset = floor((H - (ascender - descender)) / 2) - 2,
// with descender negative as fonts report it.
QRect adjustedFrameToVerticallyCenterText(const QRect& rect, qreal ascender, qreal descender);

// The application's red.
QColor mirvokRed();
