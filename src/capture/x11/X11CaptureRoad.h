#pragma once

#include "capture/CaptureRoad.h"

// An X11 session: raw pointer events from the whole display
// (X11PointerSource), the selection read on the capture thread in order
// PRIMARY, accessibility, guarded simulated copy (CaptureReader).
class X11CaptureRoad : public CaptureRoad {
    Q_OBJECT
public:
    explicit X11CaptureRoad(QObject* parent = nullptr);

    QString name() const override { return QStringLiteral("x11"); }
    QList<Part> parts() const override;
    bool hasPointerGestures() const override;
    bool hasHover() const override { return hasPointerGestures(); }
    void selectedText(const capture::SelectionRequest& request, QObject* context, SelectedDone done) override;
    void textAround(const QPoint& px, QObject* context, AroundDone done) override;
};
