#pragma once

#include <QString>

class CaptureRoad;

// The one place that decides how this session is reached. The session type
// (XDG_SESSION_TYPE) decides, not merely which display variables exist: an
// X connection through XWayland inside a Wayland session is the wrong road
// for native windows. MIRVOK_CAPTURE_ROAD=x11|wayland|none forces a road for
// tests and bug reports; the log names the road and why.
namespace CaptureRoads {

struct Choice {
    QString road;  // "x11", "wayland" or "none"
    QString why;
};

// The decision alone. `platform` is Qt's platform plugin name.
Choice choose(const QString& forced, const QString& sessionType, const QString& platform);

// Before the application object exists: in a Wayland session run natively
// on Wayland unless MIRVOK_PLATFORM=x11 or QT_QPA_PLATFORM says otherwise.
void choosePlatform();

// Builds the road for this process (after the application object exists).
CaptureRoad* load();

// The clipboard keeper, an X client the program runs as a child of its own:
// true when argv asks for it, and then `exitCode` is what the run ends with.
bool runsClipboardKeeper(int argc, char** argv, int* exitCode);

// At quit: what this process owns on the X clipboard goes to a keeper.
void keepClipboardAtExit();

}  // namespace CaptureRoads
