#include "capture/wayland/WaylandCaptureRoad.h"

#include "capture/atspi/AtspiSelectionWatch.h"
#include "capture/wayland/PrimarySelectionWatch.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcWaylandRoad, "mirvok.capture.wayland", QtInfoMsg)
constexpr int kSettleMs = 300;
}

WaylandCaptureRoad::WaylandCaptureRoad(QObject* parent)
    : CaptureRoad(parent), atspi_(new AtspiSelectionWatch(this)), primary_(new PrimarySelectionWatch(this)) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &WaylandCaptureRoad::settle);
    connect(atspi_, &AtspiSelectionWatch::selected, this, [this](const QString& t, const QRect& r) {
        qCDebug(lcWaylandRoad).noquote() << "accessibility selection:" << t << r;
        offer(t, r);
    });
    connect(atspi_, &AtspiSelectionWatch::stateChanged, this, &CaptureRoad::partsChanged);
    connect(primary_, &PrimarySelectionWatch::selected, this, [this](const QString& t) {
        qCDebug(lcWaylandRoad).noquote() << "primary selection:" << t;
        offer(t, QRect());
    });
    connect(primary_, &PrimarySelectionWatch::stateChanged, this, &CaptureRoad::partsChanged);
}

void WaylandCaptureRoad::start() {
    if (started_) return;
    started_ = true;
    atspi_->start();
    primary_->start();
}

QList<CaptureRoad::Part> WaylandCaptureRoad::parts() const {
    auto state = [this](bool active, const QString& note) {
        return active ? QString() : (note.isEmpty() && !started_ ? QStringLiteral("尚未启动") : note);
    };
    return {
        {QStringLiteral("辅助功能选区（AT-SPI）"), atspi_->isActive(), state(atspi_->isActive(), atspi_->note())},
        {QStringLiteral("主选区（wl-clipboard）"), primary_->isActive(), state(primary_->isActive(), primary_->note())},
        {QStringLiteral("屏幕取词（鼠标悬停）"), false, QStringLiteral("Wayland 不提供全局指针位置")},
        {QStringLiteral("模拟复制"), false, QStringLiteral("Wayland 会话中从不向其他程序发送按键")},
    };
}

void WaylandCaptureRoad::offer(const QString& text, const QRect& extents) {
    const QString t = text.trimmed();
    // Only a different selection ends the popup: applications report
    // theirs again when they lose the focus, as they do to the popup itself.
    // Once another (or none) was reported, the old text is new again.
    if (t != last_) {
        emit selectionChanged();
        last_.clear();
    }
    if (t.isEmpty()) {
        settle_.stop();
        return;
    }
    // The accessibility bus and the primary selection often report the same
    // selection; keep whichever told where it lies.
    if (t == candidate_ && settle_.isActive() && extents.isEmpty()) return;
    candidate_ = t;
    extents_ = extents;
    settle_.start();
}

void WaylandCaptureRoad::settle() {
    // Reported again while its popup is up: the same selection.
    if (candidate_ == last_) return;
    last_ = candidate_;
    emit selectionSettled(candidate_, extents_);
}
