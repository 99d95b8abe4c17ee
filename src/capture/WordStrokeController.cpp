#include "capture/WordStrokeController.h"

#include "capture/BrowserBridgeRequest.h"
#include "capture/CaptureRoad.h"
#include "capture/CaptureText.h"
#include "capture/ScrTransController.h"
#include "capture/WordStrokeQueryController.h"
#include "capture/WordStrokeXMLResultParser.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcWordStroke, "mirvok.capture.selection", QtInfoMsg)

QPoint toPixels(const QPointF& p) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    const qreal ratio = app ? app->devicePixelRatio() : 1.0;
    return (p * ratio).toPoint();
}
}  // namespace

WordStrokeController::WordStrokeController(QObject* parent) : QObject(parent) {
    mouseMonitor_ = new MouseMonitor(this);
    wordStrokeQueryController_ = new WordStrokeQueryController(this);
    NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("BROWSER_GOT_WORD_MSG"), this, [this](const Notification& n) {
            const QVariant text = n.userInfo.value(QStringLiteral("object"));
            // Delivered on the poster's thread; the lookup belongs to ours.
            QMetaObject::invokeMethod(this, [this, text] { chromeGotWordHandler(text.toString()); },
                                      Qt::QueuedConnection);
        });
    reader_ = [](const capture::SelectionRequest& r, QObject* ctx,
                 std::function<void(const capture::SelectedText&)> done) {
        CaptureRoad::current().selectedText(r, ctx, std::move(done));
    };
}

WordStrokeController::~WordStrokeController() { NotificationCenter::defaultCenter().removeObserver(this); }

QPointF WordStrokeController::pointerPos() const { return pointer_ ? pointer_() : QPointF(QCursor::pos()); }

void WordStrokeController::startMonitor() {
    if (started_) return;
    started_ = true;
    mouseMonitor_->InstallMonitorWithTarget(this, [this](const MouseMonitorEvent& e) { onMouseEvent(e); });
    CaptureRoad& road = CaptureRoad::current();
    connect(&road, &CaptureRoad::selectionChanged, this, [this] {
        // The popup belongs to the selection that is gone, unless the user
        // is in it.
        if (!mouseMonitor_->entered()) hideScrTransWnd();
    });
    connect(&road, &CaptureRoad::selectionSettled, this, &WordStrokeController::settledSelection);
    road.start();
    performTimerBasedUpdate();
}

void WordStrokeController::settledSelection(const QString& text, const QRect& extents) {
    if (!UserDefaults::standard().boolValue(WordStroke)) return;
    qCDebug(lcWordStroke).noquote() << "selection settled:" << text;
    const QString word = capturetext::selectionToQuery(text);
    if (word.isEmpty()) return;
    lastWord_ = word;
    popupAt_ = CaptureRoad::current().popupPoint(extents, pointerPos());
    mouseMonitor_->setStPoint(*popupAt_);
    wordStrokeQueryController_->doQuery(word, this, [this](const QVariant& a) { onQueryFinished(a); });
}

void WordStrokeController::onMouseEvent(const MouseMonitorEvent& e) {
    switch (e.eventType) {
    case MouseMonitorEvent::DoubleClick:
        if (!mouseMonitor_->entered()) {
            isCheck_ = true;
            gestureServerTime_ = e.gestureServerTime;
        }
        break;
    case MouseMonitorEvent::DragEnded:
        if (e.dragDistance > 5.0f) {
            isCheck_ = true;
            gestureServerTime_ = e.gestureServerTime;
        }
        break;
    case MouseMonitorEvent::Pressed:
        // A new gesture begins: one that is still waiting for the pointer to
        // move is stale, and checking it later would pop up its old
        // selection wherever this press happens to be.
        isCheck_ = false;
        if (ScrTransController::isShown() && e.param == 0 && !mouseMonitor_->entered()) {
            hideScrTransWnd();
            mouseMonitor_->setShowing(false);
        }
        break;
    case MouseMonitorEvent::MovedAway:
        hideScrTransWnd();
        mouseMonitor_->setShowing(false);
        break;
    default:
        break;
    }
}

void WordStrokeController::performTimerBasedUpdate() {
    // Pointers moved through XTest (remote desktops, on-screen pointers)
    // send no raw motion, so the poll also tells the monitor where the
    // pointer is while the popup shows; otherwise it would never leave.
    // Without a global pointer (Wayland) the pointer is only known over our
    // own windows, and never moves away from a selection elsewhere.
    if (mouseMonitor_->showing() && CaptureRoad::current().hasPointerGestures())
        mouseMonitor_->handleMouseMove(pointerPos());
    checkUIElment();
    QTimer::singleShot(100, this, &WordStrokeController::performTimerBasedUpdate);
}

void WordStrokeController::checkUIElment() {
    if (!UserDefaults::standard().boolValue(WordStroke)) {
        // A gesture made while selection capture was off must not be looked
        // up the moment it is switched on.
        isCheck_ = false;
        return;
    }
    if (!isCheck_) return;
    const QPointF pos = pointerPos();
    if (pos == lastMousePoint_) return;
    capture::SelectionRequest request;
    request.px = toPixels(pos);
    request.gestureServerTime = gestureServerTime_;
    request.overOwnWindow = CaptureRoad::current().pointerOverOwnWindow();
    reader_(request, this, [this](const capture::SelectedText& s) { getSelectWordandQuery(s.text); });
    lastMousePoint_ = pos;
    isCheck_ = false;
}

void WordStrokeController::getSelectWordandQuery(const QString& selected) {
    const QString word = capturetext::selectionToQuery(selected);
    if (word.isEmpty()) return;
    lastWord_ = word;
    popupAt_.reset();
    mouseMonitor_->setStPoint(pointerPos());
    wordStrokeQueryController_->doQuery(word, this, [this](const QVariant& a) { onQueryFinished(a); });
}

void WordStrokeController::chromeGotWordHandler(const QString& object) {
    if (const auto w = browserbridge::readNotificationObject(object)) browsergetWordandQuery(w->word, w->pos, w->type);
}

void WordStrokeController::browsergetWordandQuery(const QString& word, int pos, int type) {
    const QString text = word.trimmed();
    if (text.isEmpty()) return;
    UserDefaults& d = UserDefaults::standard();
    const bool hover = type == 0 && d.boolValue(ScreenTrans) && isScreenTransModifierDown();
    const bool selection = type == 1 && d.boolValue(WordStroke);
    if (!hover && !selection) return;
    lastWord_ = text;
    popupAt_.reset();
    mouseMonitor_->setStPoint(pointerPos());
    wordStrokeQueryController_->doQuery(text, pos, type, this, [this](const QVariant& a) { onQueryFinished(a); });
}

void WordStrokeController::onQueryFinished(const QVariant& answer) {
    const WordStrokeAnswer a = WordStrokeXMLResultParser::readAnswer(answer);
    if (!a.result && answer.metaType() != QMetaType::fromType<QByteArray>()) return;
    title_ = a.title;
    if (a.html.isEmpty()) return;
    showScrTransWnd(a.html, QVariant::fromValue(a.result));
}

void WordStrokeController::showScrTransWnd(const QString& html, const QVariant& result) {
    if (ScrTransController::getInstance()->showWindow(html, result.value<WordStrokeXMLResultPtr>(), popupAt_))
        mouseMonitor_->setShowing(true);
}

void WordStrokeController::hideScrTransWnd() {
    if (ScrTransController::isShown()) ScrTransController::getInstance()->hideWindow();
}
