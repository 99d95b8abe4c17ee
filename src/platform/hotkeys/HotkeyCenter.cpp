#include "platform/hotkeys/HotkeyCenter.h"

#include "platform/hotkeys/none/NullHotkeyCenter.h"
#include "platform/hotkeys/portal/PortalHotkeyCenter.h"
#include "platform/hotkeys/x11/GlobalHotkeyCenter.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcHotkeys, "mirvok.platform.shortcuts", QtInfoMsg)

HotkeyCenter* g_override = nullptr;
}  // namespace

HotkeyCenter& HotkeyCenter::shared() {
    if (g_override) return *g_override;
    // X11 grabs where we are an X client; elsewhere (Wayland) only the
    // desktop portal can give a shortcut that works in every window.
    static HotkeyCenter* center = []() -> HotkeyCenter* {
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            qCDebug(lcHotkeys) << "global hotkeys: X11 key grabs";
            return new GlobalHotkeyCenter();
        }
        if (QDBusConnection::sessionBus().isConnected()) {
            qCDebug(lcHotkeys) << "global hotkeys: desktop portal";
            return new PortalHotkeyCenter(qApp);
        }
        qCDebug(lcHotkeys) << "global hotkeys: none (no X display, no session bus)";
        return new NullHotkeyCenter();
    }();
    return *center;
}

void HotkeyCenter::setShared(HotkeyCenter* center) { g_override = center; }
