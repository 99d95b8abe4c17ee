#include "wordbook-ui/MVWordBookCellBackView.h"

#include <QVariantAnimation>

MVWordBookCellBackView::MVWordBookCellBackView(QObject* parent) : QObject(parent) {}

void MVWordBookCellBackView::setBackgroundColor(const QColor& c)
{
    if (colorAnimation_)
        colorAnimation_->stop();
    color_ = c;
    emit changed();
}

void MVWordBookCellBackView::changeHoveredColorFrom(const QColor& from, const QColor& to, double duration)
{
    if (!colorAnimation_) {
        colorAnimation_ = new QVariantAnimation(this);
        connect(colorAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            color_ = v.value<QColor>();
            emit changed();
        });
    }
    colorAnimation_->stop();
    colorAnimation_->setStartValue(from);
    colorAnimation_->setEndValue(to);
    colorAnimation_->setDuration(int(duration * 1000));
    color_ = to;  // the end value stays once the animation is over
    colorAnimation_->start();
}

void MVWordBookCellBackView::changeMoreButtonImageViewWithName(const QString& name, double duration)
{
    if (name.isEmpty() || name == moreImage_)
        return;
    previousMoreImage_ = moreImage_;
    moreImage_ = name;
    if (!moreAnimation_) {
        moreAnimation_ = new QVariantAnimation(this);
        moreAnimation_->setStartValue(0.0);
        moreAnimation_->setEndValue(1.0);
        connect(moreAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            moreFade_ = v.toDouble();
            emit changed();
        });
        connect(moreAnimation_, &QVariantAnimation::finished, this, [this] {
            moreFade_ = 1.0;
            previousMoreImage_.clear();
            emit changed();
        });
    }
    moreAnimation_->stop();
    moreAnimation_->setDuration(int(duration * 1000));
    moreFade_ = 0.0;
    moreAnimation_->start();
}
