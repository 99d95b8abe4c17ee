#include "capture/none/NullCaptureRoad.h"

NullCaptureRoad::NullCaptureRoad(QString why, QObject* parent) : CaptureRoad(parent), why_(std::move(why)) {}

QList<CaptureRoad::Part> NullCaptureRoad::parts() const {
    return {{QStringLiteral("取词"), false, QStringLiteral("取词已关闭：%1").arg(why_)}};
}
