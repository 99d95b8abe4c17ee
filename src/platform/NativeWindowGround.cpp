#include "platform/NativeWindowGround.h"

#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

void setNativeWindowGround(QWidget* window, const QColor& color) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!window || !x11 || !x11->connection()) return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    // Our windows use the screen's true-colour visual: the pixel is the RGB value.
    const uint32_t pixel = color.rgb() & 0xffffffu;
    xcb_change_window_attributes(x11->connection(), id, XCB_CW_BACK_PIXEL, &pixel);
}
