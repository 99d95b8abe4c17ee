#include "account/AccountShell.h"
#include "app/AppLibrary.h"
#include "capture/CaptureRoads.h"
#include "capture/CaptureShell.h"
#include "crash/CrashKit.h"
#include "kithost/KitHostStartup.h"
#include "platform/ApplicationActivity.h"
#include "platform/ColorScheme.h"
#include "platform/NotificationCenter.h"
#include "platform/Resources.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/TimingMark.h"
#include "platform/UserDefaults.h"
#include "platform/WebEngineSandbox.h"
#include "platform/WebEngineSetup.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "query/LogUtils.h"
#include "query/MVDictHistory.h"
#include "query/StartAppControl.h"
#include "tally/Tally.h"
#include "window/FrameWndController.h"
#include "window/NoticeAlerts.h"
#include "window/PageAdapters.h"
#include "window/ShellServices.h"
#include "window/pages/WebPageHost.h"
#include "wordbook/MVWordBook.h"
#include "wordbook-ui/WordBookScreenServices.h"

#include <QApplication>
#include <QIcon>
#include <QQuickWindow>
#include <cstring>

namespace {
class AppKitHost : public KitHostServices {
public:
    void startWithCrashKit() override { KitHostStartup::startWithCrashKit(); }
    void setUserIdentifier(const QString& v) override { CrashKit::sharedInstance().setUserIdentifier(v); }
    void setUserEmail(const QString& v) override { CrashKit::sharedInstance().setUserEmail(v); }
    void setUserName(const QString& v) override { CrashKit::sharedInstance().setUserName(v); }
};
// The logo, also for a build tree or a prefix the icon theme does not search.
QIcon appIcon() {
    return QIcon::fromTheme(QStringLiteral("com.mirvok.Dict"),
                            QIcon(Resources::path(QStringLiteral("images/com.mirvok.Dict.svg"))));
}
}  // namespace

extern "C" int mirvok_app_main(int argc, char** argv) {
    // The clipboard keeper a quitting copy started: no application at all.
    if (int code = 0; CaptureRoads::runsClipboardKeeper(argc, argv, &code)) return code;
    MIRVOK_MARK("main");
    relaxWebEngineSandboxForRoot(argc, argv);
    CaptureRoads::choosePlatform();
    const bool softwareRendering = applyWebEngineSetup(argc, argv);
    if (softwareRendering)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    else
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MIRVOK_MARK("application object");
    // Read by now: programs started from here (a browser for a link) pick
    // their own graphics.
    if (softwareRendering) qunsetenv("QT_XCB_GL_INTEGRATION");
    // Only now: a stored value of an image type cannot even be read back
    // before the application object exists. Web views read this before any
    // page exists.
    UserDefaults::standard().setValue(WebKitDeveloperExtras, false);
    UserDefaults::standard().sync();
    QApplication::setApplicationName(QStringLiteral("Mirvok"));
    QApplication::setOrganizationDomain(QStringLiteral("mirvok.com"));
    // The launcher entry's name: docks and task bars match the window to it.
    QApplication::setDesktopFileName(QStringLiteral("com.mirvok.Dict"));
    QApplication::setWindowIcon(appIcon());
    ColorScheme::shared().start();
    // Closing the main window only hides it; the application keeps running.
    QApplication::setQuitOnLastWindowClosed(false);

    // Every road out ends the loop outright. quit() would first ask each
    // window to close, and one that declines (the translation popup, an
    // alert, a hidden main window) would cancel it: a session ending would
    // then kill the process after its grace period. The queued writes still
    // drain below.
    const auto leave = [] { QCoreApplication::exit(0); };
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, leave);

    SingleInstance instance;
    if (!instance.claim() && SingleInstance::showRunningInstance()) return 0;

    MIRVOK_MARK("one copy claimed");
    StartAppControl::repairAtStart(QCoreApplication::applicationFilePath());

    ShellServices::setLogger([](const QString& key, const QString& value, const QVariantMap& extras) {
        LogUtils::log(key, value, extras.isEmpty() ? QVariant() : QVariant(extras));
    });

    static AccountShell account;
    ShellServices::setAccount(&account);

    // The kits hear of activation and quitting by the names they observe.
    auto post = [](const char* name) { NotificationCenter::defaultCenter().post(QString::fromLatin1(name)); };
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &app,
                     [post, active = false](Qt::ApplicationState state) mutable {
                         if ((state == Qt::ApplicationActive) == active)
                             return;
                         active = state == Qt::ApplicationActive;
                         ApplicationActivity::setActive(active);
                         post(active ? "NSApplicationWillBecomeActiveNotification"
                                     : "NSApplicationWillResignActiveNotification");
                         post(active ? "NSApplicationDidBecomeActiveNotification"
                                     : "NSApplicationDidResignActiveNotification");
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app,
                     [post] { post("NSApplicationWillTerminateNotification"); });

    Tally::registerKit();
    installWordBookScreens();
    CrashKit::registerKit();
    CrashKit::setTallyHooks({&Tally::startWithBetaToken,
                             [](const QString& name, const QVariantMap& attributes) {
                                 Tally::logCustomEventWithName(name, attributes);
                             },
                             &Tally::logPreviousSessionCrashedOnDate});
    // Crashes are recorded from here on, before the window and the web
    // engine; the rest of the kits' start waits for the launch's end.
    KitHostStartup::startCrashRecording();
    MIRVOK_MARK("crash handlers installed");
    // A script error in any of our pages becomes a recorded error.
    WebPageHost::setPageHook([](QWebEnginePage* page, QWebChannel* channel) {
        CrashKit::sharedInstance().monitorErrorsForWebPage(page, channel);
    });
    AppKitHost kitHost;
    ShellServices::setKitHost(&kitHost);
    CaptureShell capture;
    ShellServices::setCapture(&capture);

    MIRVOK_MARK("kits registered");
    FrameWndController::initializeDefaults();
    // The window's frame goes on the screen first; the web engine starts
    // for the pages, and the services come up, once it has been drawn.
    FrameWndController* frame = RealPages::createMainWindowController(true);
    DictUtils::setAppDelegate(frame);
    frame->awakeChrome();
    // From the launch's end on what the stores must tell the user shows as alerts.
    frame->launchAfterFirstFrame(&noticealerts::install);

    QObject::connect(&instance, &SingleInstance::showRequested, frame, [frame] { frame->showWindow(); });
    // A query that started this copy comes before the launch has ended: it
    // waits for the service it goes to.
    QObject::connect(&instance, &SingleInstance::queryRequested, frame,
                     [frame, &capture](const QString& text, const QString& userData) {
                         if (frame->hasFinishedLaunching()) {
                             capture.serviceQuery(text, userData);
                             return;
                         }
                         QObject::connect(frame, &FrameWndController::launchFinished, frame,
                                          [&capture, text, userData] { capture.serviceQuery(text, userData); },
                                          Qt::SingleShotConnection);
                     });
    QObject::connect(&instance, &SingleInstance::miniWindowRequested, frame, [&capture] {
        if (capture.isShowingMiniWindow())
            capture.hideMiniWindow();
        else
            capture.showMiniWindow();
    });
    QObject::connect(frame, &FrameWndController::quitConfirmed, &app, leave);
    const int status = app.exec();
    CaptureRoads::keepClipboardAtExit();
    // Words answered "added" reach the file whatever ended the loop.
    MVWordBook::sharedInstance().finishQueuedWork(10000);
    MVDictHistory::finishQueuedWork();
    DictUtils::setAppDelegate(nullptr);
    delete frame;
    ShellServices::setCapture(nullptr);
    ShellServices::setKitHost(nullptr);
    return status;
}
