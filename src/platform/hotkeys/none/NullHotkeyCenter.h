#pragma once

#include "platform/hotkeys/HotkeyCenter.h"

// No way to a global shortcut (no X display and no session bus): every
// registration fails, so the caller's log and the preferences say so.
class NullHotkeyCenter : public HotkeyCenter {
public:
    bool registerHotKey(int, quint64, Action) override { return false; }
    void unregisterHotKey(int, quint64) override {}
    bool isRegistered(int, quint64) const override { return false; }
    Standing standing() const override { return Standing::None; }
};
