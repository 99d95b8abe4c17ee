#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <functional>
#include <map>
#include <utility>

// Registry of system-wide hotkeys, keyed by the stored key code and modifier
// flags (see KeyCodeTable). The main window and the preferences go through
// HotkeyCenter::shared() so tests can put a recording fake in its place.
class HotkeyCenter {
public:
    using Action = std::function<void()>;
    virtual ~HotkeyCenter() = default;

    // false when the combination cannot be grabbed (unknown key, taken by
    // another client, no X display); nothing stays registered then.
    virtual bool registerHotKey(int keyCode, quint64 flags, Action action) = 0;
    virtual void unregisterHotKey(int keyCode, quint64 flags) = 0;
    virtual bool isRegistered(int keyCode, quint64 flags) const = 0;

    // The centre in use: X11 grabs on X11, the desktop portal elsewhere,
    // unless a test installed another.
    static HotkeyCenter& shared();
    static void setShared(HotkeyCenter* center);  // nullptr restores the platform's own
};

// Grabs keys on the X root window, in every NumLock/CapsLock variant, with
// checked requests so a grab held by another client is reported as failure.
class GlobalHotkeyCenter : public QObject, public HotkeyCenter, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    GlobalHotkeyCenter();
    ~GlobalHotkeyCenter() override;

    bool registerHotKey(int keyCode, quint64 flags, Action action) override;
    void unregisterHotKey(int keyCode, quint64 flags) override;
    bool isRegistered(int keyCode, quint64 flags) const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        unsigned int keycode;
        unsigned int mods;
        Action action;
    };
    bool available() const;
    void ungrab(unsigned int keycode, unsigned int mods);

    std::map<std::pair<int, quint64>, Grab> grabs_;
    bool filterInstalled_ = false;
};
