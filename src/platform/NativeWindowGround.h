#pragma once

#include <QColor>

class QWidget;

// Gives a top-level window's X11 window a background colour the server
// paints the moment it maps the window, before the application's first
// frame: without one the server shows whatever lay there (black on many
// servers) for those milliseconds. Creates the native window if needed.
// Does nothing outside X11 (Wayland shows no window before its first
// frame). Main thread.
void setNativeWindowGround(QWidget* window, const QColor& color);
