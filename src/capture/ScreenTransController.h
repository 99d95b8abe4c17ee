#pragma once

#include "capture/CaptureRoadTypes.h"
#include "capture/MouseMonitor.h"

#include <QObject>
#include <QPointF>
#include <QVariant>
#include <functional>

class WordStrokeQueryController;

// Hover capture: every 0.5 s the pointer's position is compared with the
// previous tick's; a pointer that rests over text, with ScreenTrans on and
// the ScreenTransModifier key held, has the text around it read (on the
// capture thread) and its word looked up. A selection gesture marks the
// spot as handled until the pointer moves. Main thread only.
class ScreenTransController : public QObject {
    Q_OBJECT
public:
    using TextReader = std::function<void(const QPoint& px, QObject* context,
                                          std::function<void(const capture::TextAround&)>)>;

    explicit ScreenTransController(QObject* parent = nullptr);
    ~ScreenTransController() override;

    void startMonitor();
    // One tick; re-arms itself every 0.5 s.
    void checkMouseMove();
    // One tick without re-arming (tests step the clock themselves).
    void tick();
    bool isMouseMoved();
    void onMouseEvent(const MouseMonitorEvent& e);
    void onQueryFinished(const QVariant& answer);
    // The text read around the point: its word is looked up.
    void onTextAround(const capture::TextAround& around);

    MouseMonitor* mouseMonitor() const { return mouseMonitor_; }
    WordStrokeQueryController* queryController() const { return scrTransQueryController_; }
    QString title() const { return title_; }
    bool isCheck() const { return isCheck_; }

    void setTextReader(TextReader reader) { reader_ = std::move(reader); }
    void setPointerFunction(std::function<QPointF()> f) { pointer_ = std::move(f); }

private:
    QPointF pointerPos() const;

    MouseMonitor* mouseMonitor_ = nullptr;
    WordStrokeQueryController* scrTransQueryController_ = nullptr;
    QPointF lastMousePoint_;
    bool isCheck_ = false;
    bool ticking_ = false;
    bool started_ = false;
    QString title_;
    TextReader reader_;
    std::function<QPointF()> pointer_;
};
