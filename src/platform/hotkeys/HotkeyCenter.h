#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

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

    // What the preferences tell the user about this session's hotkeys.
    enum class Standing {
        Direct,       // each registration answers for itself
        Asking,       // the desktop has not answered yet
        Bound,        // the desktop bound them (boundTriggers says to what)
        Refused,      // the desktop refused them
        Unavailable,  // the desktop offers no way
        None,         // this session has no way to a global hotkey
    };
    virtual Standing standing() const { return Standing::Direct; }
    // The combinations the desktop bound, in its own words (e.g. "Ctrl+Alt+D").
    virtual QStringList boundTriggers() const { return {}; }
    // Calls `changed` while `context` lives whenever standing() may have changed.
    virtual void watchStanding(QObject* context, std::function<void()> changed) {
        Q_UNUSED(context);
        Q_UNUSED(changed);
    }

    // The centre in use: X11 grabs on X11, the desktop portal elsewhere,
    // unless a test installed another. The first call logs the choice.
    static HotkeyCenter& shared();
    static void setShared(HotkeyCenter* center);  // nullptr restores the platform's own
};
