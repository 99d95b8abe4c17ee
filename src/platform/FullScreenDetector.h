#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Full-screen state through the window manager's EWMH hints.
namespace FullScreenDetector {

// Frames of the managed client windows the window manager shows full screen
// (_NET_WM_STATE_FULLSCREEN); empty without an X11 display or such windows.
QList<QRect> fullScreenWindowFrames();

// Whether this window is really full screen on its screen, as the window
// manager reports it. A maximised window is not.
bool isWindowFullScreen(const QWidget* window);

}  // namespace FullScreenDetector
