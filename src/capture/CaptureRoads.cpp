#include "capture/CaptureRoads.h"

#include "capture/none/NullCaptureRoad.h"
#include "capture/wayland/WaylandCaptureRoad.h"
#include "capture/x11/X11CaptureRoad.h"
#include "capture/x11/ClipboardKeeper.h"
#include "capture/x11/X11Desktop.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstring>

namespace {
Q_LOGGING_CATEGORY(lcRoad, "mirvok.capture.road", QtInfoMsg)

QString env(const char* name) { return qEnvironmentVariable(name).trimmed().toLower(); }
}  // namespace

namespace CaptureRoads {

Choice choose(const QString& forced, const QString& sessionType, const QString& platform) {
    if (forced == QLatin1String("x11") || forced == QLatin1String("wayland") || forced == QLatin1String("none"))
        return {forced, QStringLiteral("MIRVOK_CAPTURE_ROAD=%1").arg(forced)};
    const bool onWayland = platform.startsWith(QLatin1String("wayland"));
    if (sessionType == QLatin1String("wayland") || onWayland) {
        // Forced onto XWayland in a Wayland session, the X road still sees
        // only X clients; the Wayland road sees every client that reports
        // its selections.
        return {QStringLiteral("wayland"),
                onWayland ? QStringLiteral("Wayland session") : QStringLiteral("Wayland session, running on XWayland")};
    }
    if (platform == QLatin1String("xcb")) return {QStringLiteral("x11"), QStringLiteral("X11 session")};
    return {QStringLiteral("none"), QStringLiteral("platform %1 reaches no other application").arg(platform)};
}

void choosePlatform() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    if (env("MIRVOK_PLATFORM") == QLatin1String("x11")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        return;
    }
    if (env("XDG_SESSION_TYPE") == QLatin1String("wayland") && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
}

CaptureRoad* load() {
    const Choice c = choose(env("MIRVOK_CAPTURE_ROAD"), env("XDG_SESSION_TYPE"), QGuiApplication::platformName());
    CaptureRoad* road = nullptr;
    if (c.road == QLatin1String("x11"))
        road = new X11CaptureRoad(QCoreApplication::instance());
    else if (c.road == QLatin1String("wayland"))
        road = new WaylandCaptureRoad(QCoreApplication::instance());
    else
        road = new NullCaptureRoad(c.why, QCoreApplication::instance());
    // Whichever road reads the text, an X display that can be reached (an
    // X11 session, or XWayland's) serves the pointer, focus and clipboard.
    if (c.road != QLatin1String("x11")) road->setDesktop(std::make_unique<X11Desktop>());
    qCDebug(lcRoad).noquote() << "capture road:" << c.road << "(" + c.why + ")";
    return road;
}

bool runsClipboardKeeper(int argc, char** argv, int* exitCode)
{
    if (argc != 2 || std::strcmp(argv[1], clipboardkeeper::kArgument) != 0) return false;
    *exitCode = clipboardkeeper::serveFromStdin();
    return true;
}

void keepClipboardAtExit()
{
    clipboardkeeper::handOverAtExit();
}

}  // namespace CaptureRoads
