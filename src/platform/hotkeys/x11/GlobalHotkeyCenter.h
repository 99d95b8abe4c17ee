#pragma once

#include "platform/hotkeys/HotkeyCenter.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <functional>
#include <map>
#include <utility>

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
