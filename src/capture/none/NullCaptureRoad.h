#pragma once

#include "capture/CaptureRoad.h"

// No way to other applications (an unknown platform, or forced off): every
// request goes unanswered and the preferences say why.
class NullCaptureRoad : public CaptureRoad {
    Q_OBJECT
public:
    explicit NullCaptureRoad(QString why, QObject* parent = nullptr);

    QString name() const override { return QStringLiteral("none"); }
    QList<Part> parts() const override;
    bool hasPointerGestures() const override { return false; }
    bool hasHover() const override { return false; }
    void selectedText(const capture::SelectionRequest&, QObject*, SelectedDone) override {}
    void textAround(const QPoint&, QObject*, AroundDone) override {}

private:
    QString why_;
};
