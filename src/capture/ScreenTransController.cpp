#include "capture/ScreenTransController.h"

#include "capture/CaptureRoad.h"
#include "capture/CaptureText.h"
#include "capture/ScrTransController.h"
#include "capture/WordStrokeQueryController.h"
#include "capture/WordStrokeXMLResultParser.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

ScreenTransController::ScreenTransController(QObject* parent) : QObject(parent) {
    mouseMonitor_ = new MouseMonitor(this);
    scrTransQueryController_ = new WordStrokeQueryController(this);
    reader_ = [](const QPoint& px, QObject* ctx, std::function<void(const capture::TextAround&)> done) {
        CaptureRoad::current().textAround(px, ctx, std::move(done));
    };
    lastMousePoint_ = pointerPos();
}

ScreenTransController::~ScreenTransController() = default;

QPointF ScreenTransController::pointerPos() const { return pointer_ ? pointer_() : QPointF(QCursor::pos()); }

void ScreenTransController::startMonitor() {
    if (started_) return;
    started_ = true;
    mouseMonitor_->InstallMonitorWithTarget(this, [this](const MouseMonitorEvent& e) { onMouseEvent(e); });
}

void ScreenTransController::onMouseEvent(const MouseMonitorEvent& e) {
    switch (e.eventType) {
    case MouseMonitorEvent::DoubleClick:
        isCheck_ = true;
        break;
    case MouseMonitorEvent::DragEnded:
        if (e.dragDistance > 5.0f) isCheck_ = true;
        break;
    case MouseMonitorEvent::Pressed:
        if (ScrTransController::isShown() && e.param == 0 && !mouseMonitor_->entered()) {
            ScrTransController::getInstance()->hideWindow();
            mouseMonitor_->setShowing(false);
        }
        break;
    case MouseMonitorEvent::MovedAway:
        if (ScrTransController::isShown()) ScrTransController::getInstance()->hideWindow();
        mouseMonitor_->setShowing(false);
        break;
    default:
        break;
    }
}

bool ScreenTransController::isMouseMoved() {
    const QPointF p = pointerPos();
    const float d = pointDistance(p, lastMousePoint_);
    lastMousePoint_ = p;
    return d >= 1e-7f;
}

void ScreenTransController::checkMouseMove() {
    tick();
    if (ticking_) return;
    ticking_ = true;
    auto* timer = new QTimer(this);
    timer->setInterval(500);
    connect(timer, &QTimer::timeout, this, &ScreenTransController::tick);
    timer->start();
}

void ScreenTransController::tick() {
    // See WordStrokeController::performTimerBasedUpdate: not every pointer
    // sends raw motion.
    if (mouseMonitor_->showing()) mouseMonitor_->handleMouseMove(pointerPos());
    if (mouseMonitor_->showing() && mouseMonitor_->entered()) return;
    if (isCheck_) {
        if (isMouseMoved()) isCheck_ = false;
        return;
    }
    if (isMouseMoved()) return;
    isCheck_ = true;
    // Other applications' text is read only for a lookup that will happen.
    if (!UserDefaults::standard().boolValue(ScreenTrans) || !isScreenTransModifierDown()) return;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    const qreal ratio = app ? app->devicePixelRatio() : 1.0;
    reader_((lastMousePoint_ * ratio).toPoint(), this,
            [this](const capture::TextAround& a) { onTextAround(a); });
}

void ScreenTransController::onTextAround(const capture::TextAround& around) {
    if (!around.ok) return;
    // The switch or the key may have changed while the text was read.
    if (!UserDefaults::standard().boolValue(ScreenTrans) || !isScreenTransModifierDown()) return;
    const capturetext::Around clean = capturetext::cleanAround(around.text, around.offset);
    if (clean.text.trimmed().isEmpty()) return;
    mouseMonitor_->setStPoint(pointerPos());
    scrTransQueryController_->doQuery(clean.text, clean.offset, WordStrokeQueryController::kHover, this,
                                      [this](const QVariant& a) { onQueryFinished(a); });
}

void ScreenTransController::onQueryFinished(const QVariant& answer) {
    const WordStrokeAnswer a = WordStrokeXMLResultParser::readAnswer(answer);
    if (!a.result && answer.metaType() != QMetaType::fromType<QByteArray>()) return;
    title_ = a.title;
    if (a.html.isEmpty()) return;
    if (ScrTransController::getInstance()->showWindow(a.html, a.result)) mouseMonitor_->setShowing(true);
}
