#pragma once

#include <QtGlobal>

// Which window of the desktop had the focus before the mini window took it,
// and giving it back: the window manager's _NET_ACTIVE_WINDOW where one
// keeps it, else the X server's input focus (no window manager). Answers 0
// and does nothing off X11.
namespace x11focus {

quint64 focusedWindow();
// Whether `window` (or a window it lies inside) is one of this process's.
bool isOwnWindow(quint64 window);
// Asks the window manager to activate `window`, or sets the input focus
// directly when there is none; the window must still exist and be viewable.
void focusWindow(quint64 window);
// Gives one of our own windows, just shown, the input focus where no window
// manager does it: Qt's request carries the time of the last input event it
// saw, which the server may refuse once the focus has moved since (a window
// hidden and shown again with no input in between).
void focusShownWindow(quint64 window);

}  // namespace x11focus
