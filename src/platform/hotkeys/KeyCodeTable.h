#pragma once

#include <QString>
#include <Qt>
#include <cstdint>

// Stored hotkeys keep the historical key codes and modifier flags (they are
// persisted defaults values); this table is the one place that turns them into
// X11 key symbols and modifier masks and back. Key codes are positions on the
// US keyboard; Command maps to Ctrl, Option to Alt, Control to Super.
namespace KeyCodeTable {

constexpr quint64 kShiftFlag = 0x20000;
constexpr quint64 kControlFlag = 0x40000;
constexpr quint64 kOptionFlag = 0x80000;
constexpr quint64 kCommandFlag = 0x100000;
constexpr quint64 kModifierFlagsMask = kShiftFlag | kControlFlag | kOptionFlag | kCommandFlag;

// X11 keysym for a stored key code; 0 when the code is unknown.
unsigned long keysymForCode(int keyCode);
// Stored key code for a Qt key; -1 when the key has no stored code.
int codeForQtKey(int qtKey);
// Qt key for a stored key code; 0 when unknown.
int qtKeyForCode(int keyCode);

// X11 modifier mask (ShiftMask, ControlMask, Mod1Mask, Mod4Mask) for stored flags.
unsigned int x11ModifiersForFlags(quint64 flags);
quint64 flagsForX11Modifiers(unsigned int mods);
quint64 flagsForQtModifiers(Qt::KeyboardModifiers mods);

// Human-readable form for the recorder, e.g. "Ctrl+Alt+X".
QString displayText(int keyCode, quint64 flags);

}  // namespace KeyCodeTable
