// The start that shows the main window before the web engine starts for
// its pages, driven with page doubles and a recording capture service
// (offscreen).
#include "ShellFakes.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/FrameSplitViewController.h"
#include "window/FrameWndController.h"
#include "window/MVToolBarController.h"

#include <QTest>
#include <memory>

class TestWindowStart : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeHttpService> site;
    FakeHotkeyCenter hotkeys;
    FakeLookupPage* lookup = nullptr;
    FakeTranslationPage* fanyi = nullptr;
    std::unique_ptr<FrameWndController> frame;

    void dropFrame() {
        frame.reset();
        delete lookup;
        delete fanyi;
        lookup = nullptr;
        fanyi = nullptr;
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        site = std::make_unique<FakeHttpService>();
        UserDefaults::standard().setValue(MVWebSiteHost, site->hostPort());
        UserDefaults::standard().setValue(MVServiceHost, site->hostPort());
        HotkeyCenter::setShared(&hotkeys);
        FrameWndController::initializeDefaults();
    }
    void cleanup() {
        dropFrame();
        HotkeyCenter::setShared(nullptr);
        site.reset();
        env.reset();
    }

    // A start that shows the window first: the pages (and with them the web
    // engine) and the services come only after its first frame, the launch's
    // end after the home page, and all of them come; started hidden, the
    // window is never shown.
    void windowFirstThenPagesAndServices() {
        struct Capture : CaptureServices {
            QStringList calls;
            void startScreenTrans() override { calls << QStringLiteral("screenTrans"); }
            void startWordStroke() override { calls << QStringLiteral("wordStroke"); }
            bool startServer() override { calls << QStringLiteral("server"); return true; }
            void registerServiceProvider() override { calls << QStringLiteral("provider"); }
        } capture;
        struct Shows : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* e) override { count += e->type() == QEvent::Show; return false; }
        };
        ShellServices::setCapture(&capture);
        for (const bool hidden : {false, true}) {
            UserDefaults::standard().setValue(MinimizedAfterStart, hidden);
            capture.calls.clear();
            lookup = new FakeLookupPage;
            fanyi = new FakeTranslationPage;
            int made = 0;
            bool shownWhenMade = false;
            FakeLookupPage* l = lookup;
            FakeTranslationPage* f = fanyi;
            frame = std::make_unique<FrameWndController>([&, l, f](FrameWndController* c) {
                ++made;
                shownWhenMade = c->window()->isVisible();
                return FrameWndController::Pages{l, f};
            }, true);
            Shows shows;
            frame->window()->installEventFilter(&shows);
            frame->awakeChrome();
            QCOMPARE(made, 0);
            QVERIFY(capture.calls.isEmpty());
            bool finishing = false;
            frame->launchAfterFirstFrame([&] { finishing = true; });
            QTRY_COMPARE(made, 1);
            // The launch's end waits for the home page.
            QVERIFY(!finishing);
            NotificationCenter::defaultCenter().post(MVDidFinishLoadFirstWebViewNotification);
            QTRY_VERIFY(finishing);
            QCOMPARE(shownWhenMade, !hidden);
            QCOMPARE(shows.count, hidden ? 0 : 1);
            QCOMPARE(MVToolBarController::sharedInstance().mainVC(), lookup);
            QCOMPARE(lookup->widget.parentWidget(), FrameSplitViewController::sharedInstance().mainContentView());
            QTRY_VERIFY(capture.calls.contains(QStringLiteral("provider")));
            QCOMPARE(capture.calls, (QStringList{"screenTrans", "wordStroke", "server", "provider"}));
            frame.reset();
            delete lookup;
            delete fanyi;
            lookup = nullptr;
            fanyi = nullptr;
        }
        ShellServices::setCapture(nullptr);
        // The one-piece start makes its pages once.
        int made = 0;
        lookup = new FakeLookupPage;
        fanyi = new FakeTranslationPage;
        frame = std::make_unique<FrameWndController>([&, l = lookup, f = fanyi](FrameWndController*) {
            ++made;
            return FrameWndController::Pages{l, f};
        });
        frame->awakeFromNib();
        QCOMPARE(made, 1);
    }

};

QTEST_MAIN(TestWindowStart)
#include "tst_window_start.moc"
