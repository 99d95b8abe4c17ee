#include "capture/x11/X11CaptureRoad.h"

#include "capture/x11/CaptureReader.h"
#include "capture/x11/X11Desktop.h"
#include "capture/x11/X11PointerSource.h"

X11CaptureRoad::X11CaptureRoad(QObject* parent) : CaptureRoad(parent) { setDesktop(std::make_unique<X11Desktop>()); }

bool X11CaptureRoad::hasPointerGestures() const { return X11PointerSource::shared() != nullptr; }

QList<CaptureRoad::Part> X11CaptureRoad::parts() const {
    const bool pointer = hasPointerGestures();
    return {
        {QStringLiteral("X11 指针与选区"), pointer,
         pointer ? QStringLiteral("双击或拖选后读取选中的文字") : QStringLiteral("X 服务器缺少 XInput 2.2")},
        {QStringLiteral("屏幕取词（鼠标悬停）"), pointer, pointer ? QString() : QStringLiteral("需要全局指针位置")},
    };
}

void X11CaptureRoad::selectedText(const capture::SelectionRequest& request, QObject* context, SelectedDone done) {
    CaptureReader::shared().selectedText(request, context, std::move(done));
}

void X11CaptureRoad::textAround(const QPoint& px, QObject* context, AroundDone done) {
    CaptureReader::shared().textAround(px, context, std::move(done));
}
