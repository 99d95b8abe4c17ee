#include "account/AccountShell.h"
#include "capture/CaptureShell.h"
#include "kithost/KitHostStartup.h"
#include "platform/SingleInstance.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "query/LogUtils.h"
#include "window/FrameWndController.h"
#include "window/PageAdapters.h"
#include "window/ShellServices.h"
#include "wordbook-ui/WordBookScreenServices.h"

#include <QApplication>

namespace {
class AppKitHost : public KitHostServices {
public:
    void startWithCrashKit() override { KitHostStartup::startWithCrashKit(); }
};
}  // namespace

int main(int argc, char** argv) {
    // Web views read this before any page exists.
    UserDefaults::standard().setValue(WebKitDeveloperExtras, false);
    UserDefaults::standard().sync();

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirvok"));
    QApplication::setOrganizationDomain(QStringLiteral("mirvok.com"));
    QApplication::setDesktopFileName(QStringLiteral("mirvok"));
    // Closing the main window only hides it; the application keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim() && SingleInstance::showRunningInstance()) return 0;

    ShellServices::setLogger([](const QString& key, const QString& value, const QVariantMap& extras) {
        LogUtils::log(key, value, extras.isEmpty() ? QVariant() : QVariant(extras));
    });

    static AccountShell account;
    ShellServices::setAccount(&account);
    installWordBookScreens();
    AppKitHost kitHost;
    ShellServices::setKitHost(&kitHost);
    CaptureShell capture;
    ShellServices::setCapture(&capture);

    FrameWndController::initializeDefaults();
    FrameWndController* frame = RealPages::createMainWindowController();
    DictUtils::setAppDelegate(frame);
    frame->awakeFromNib();
    frame->window()->show();
    frame->applicationDidFinishLaunching();

    QObject::connect(&instance, &SingleInstance::showRequested, frame, [frame] { frame->showWindow(); });
    QObject::connect(&instance, &SingleInstance::queryRequested, frame,
                     [&capture](const QString& text, const QString& userData) { capture.serviceQuery(text, userData); });
    QObject::connect(frame, &FrameWndController::quitConfirmed, &app, &QApplication::quit);
    const int status = app.exec();
    DictUtils::setAppDelegate(nullptr);
    delete frame;
    ShellServices::setCapture(nullptr);
    ShellServices::setKitHost(nullptr);
    return status;
}
