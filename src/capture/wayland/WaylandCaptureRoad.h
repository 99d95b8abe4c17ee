#pragma once

#include "capture/CaptureRoad.h"

#include <QTimer>

class AtspiSelectionWatch;
class PrimarySelectionWatch;

// A Wayland session: no global pointer, so no gestures and no hover. The
// selections come to us instead: from the accessibility bus (any
// application that reports them) and from the primary selection where the
// compositor lets a client watch it (which also carries XWayland clients'
// selections). A selection unchanged for 300 ms is reported once; the same
// text counts again only after another (or none) was reported, or after the
// popup was dismissed. No key is ever sent to another client.
// selectionChanged means a different text.
class WaylandCaptureRoad : public CaptureRoad {
    Q_OBJECT
public:
    explicit WaylandCaptureRoad(QObject* parent = nullptr);

    QString name() const override { return QStringLiteral("wayland"); }
    QList<Part> parts() const override;
    bool hasPointerGestures() const override { return false; }
    bool hasHover() const override { return false; }
    void start() override;
    // Nothing to read at a gesture: there are none, and the selection
    // arrives through selectionSettled.
    void selectedText(const capture::SelectionRequest&, QObject*, SelectedDone) override {}
    void textAround(const QPoint&, QObject*, AroundDone) override {}
    void popupDismissed() override { last_.clear(); }

    // A selection as a watch saw it. Public so tests can step the pause.
    void offer(const QString& text, const QRect& extents);
    void setSettleMs(int ms) { settle_.setInterval(ms); }
    bool settling() const { return settle_.isActive(); }

private:
    void settle();

    AtspiSelectionWatch* atspi_ = nullptr;
    PrimarySelectionWatch* primary_ = nullptr;
    QTimer settle_;
    QString candidate_;
    QRect extents_;
    QString last_;
    bool started_ = false;
};
