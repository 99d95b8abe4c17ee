#pragma once

#include <QColor>
#include <QObject>
#include <QString>

class QVariantAnimation;

// The background of one word-list row: its colour, which fades when the
// pointer enters, and its "more" icon, which cross-fades to a new image.
// Rows are painted by MVWordBookCellView from this state; changed() asks
// for a repaint while an animation runs.
class MVWordBookCellBackView : public QObject {
    Q_OBJECT
public:
    explicit MVWordBookCellBackView(QObject* parent = nullptr);

    QColor backgroundColor() const { return color_; }
    void setBackgroundColor(const QColor& c);
    // Animates from one colour to the other and keeps the second.
    void changeHoveredColorFrom(const QColor& from, const QColor& to, double duration);

    // The more icon shown now, and the one it is fading from (opacity of the
    // new one in moreFade(); 1 when no transition runs).
    QString moreImage() const { return moreImage_; }
    QString previousMoreImage() const { return previousMoreImage_; }
    double moreFade() const { return moreFade_; }
    void changeMoreButtonImageViewWithName(const QString& name, double duration);

signals:
    void changed();

private:
    QColor color_ = Qt::transparent;
    QVariantAnimation* colorAnimation_ = nullptr;
    QVariantAnimation* moreAnimation_ = nullptr;
    QString moreImage_ = QStringLiteral("img_wordbook_more_normal_icon");
    QString previousMoreImage_;
    double moreFade_ = 1.0;
};
