#include "platform/hotkeys/x11/GlobalHotkeyCenter.h"

#include "platform/hotkeys/KeyCodeTable.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace {

// Lock-style modifiers that must not stop a hotkey from firing.
constexpr unsigned int kIgnoredVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                             XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr unsigned int kRelevantMods = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL |
                                       XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

Display* x11Display() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

xcb_connection_t* xcbConnection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
    Display* d = x11Display();
    if (d) return static_cast<xcb_window_t>(DefaultRootWindow(d));
    const xcb_setup_t* setup = xcb_get_setup(c);
    return xcb_setup_roots_iterator(setup).data->root;
}

}  // namespace

GlobalHotkeyCenter::GlobalHotkeyCenter() = default;

GlobalHotkeyCenter::~GlobalHotkeyCenter() {
    // Grabs outlive their client's objects: left in place, a key stays taken
    // from every other program until the connection closes.
    if (available())
        for (const auto& [key, grab] : grabs_) ungrab(grab.keycode, grab.mods);
    if (filterInstalled_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool GlobalHotkeyCenter::available() const { return xcbConnection() && x11Display(); }

bool GlobalHotkeyCenter::registerHotKey(int keyCode, quint64 flags, Action action) {
    const auto key = std::make_pair(keyCode, flags & KeyCodeTable::kModifierFlagsMask);
    if (grabs_.count(key)) return false;  // one action per combination
    if (!available()) return false;
    const unsigned long keysym = KeyCodeTable::keysymForCode(keyCode);
    if (!keysym) return false;
    Display* dpy = x11Display();
    const unsigned int keycode = XKeysymToKeycode(dpy, keysym);
    if (!keycode) return false;
    const unsigned int mods = KeyCodeTable::x11ModifiersForFlags(flags);

    xcb_connection_t* c = xcbConnection();
    const xcb_window_t root = rootWindow(c);
    xcb_void_cookie_t cookies[4];
    int i = 0;
    for (unsigned int variant : kIgnoredVariants)
        cookies[i++] = xcb_grab_key_checked(c, 1, root, static_cast<uint16_t>(mods | variant),
                                            static_cast<xcb_keycode_t>(keycode),
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    bool ok = true;
    for (auto& cookie : cookies) {
        if (xcb_generic_error_t* err = xcb_request_check(c, cookie)) {
            ok = false;
            free(err);
        }
    }
    if (!ok) {
        // Another client holds (some variant of) the key: keep none of ours.
        ungrab(keycode, mods);
        return false;
    }
    if (!filterInstalled_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        filterInstalled_ = true;
    }
    grabs_[key] = Grab{keycode, mods, std::move(action)};
    return true;
}

void GlobalHotkeyCenter::ungrab(unsigned int keycode, unsigned int mods) {
    xcb_connection_t* c = xcbConnection();
    if (!c) return;
    const xcb_window_t root = rootWindow(c);
    xcb_void_cookie_t last{};
    for (unsigned int variant : kIgnoredVariants)
        last = xcb_ungrab_key_checked(c, static_cast<xcb_keycode_t>(keycode), root,
                                      static_cast<uint16_t>(mods | variant));
    // Wait for the server: once we return, the combination is free for any
    // client (the recorder may hand it straight to another registration).
    if (xcb_generic_error_t* err = xcb_request_check(c, last)) free(err);
}

void GlobalHotkeyCenter::unregisterHotKey(int keyCode, quint64 flags) {
    auto it = grabs_.find(std::make_pair(keyCode, flags & KeyCodeTable::kModifierFlagsMask));
    if (it == grabs_.end()) return;
    ungrab(it->second.keycode, it->second.mods);
    grabs_.erase(it);
}

bool GlobalHotkeyCenter::isRegistered(int keyCode, quint64 flags) const {
    return grabs_.count(std::make_pair(keyCode, flags & KeyCodeTable::kModifierFlagsMask)) > 0;
}

bool GlobalHotkeyCenter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    if ((ev->response_type & 0x7f) != XCB_KEY_PRESS) return false;
    auto* kp = reinterpret_cast<xcb_key_press_event_t*>(ev);
    const unsigned int state = kp->state & kRelevantMods;
    for (auto& [key, grab] : grabs_) {
        if (grab.keycode == kp->detail && grab.mods == state) {
            // Run after the filter returns: the action may (un)register hotkeys.
            Action action = grab.action;
            QTimer::singleShot(0, qApp, [action] {
                if (action) action();
            });
            return true;
        }
    }
    return false;
}
