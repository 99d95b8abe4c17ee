// Browser bridge and mini window timings on a private X server and session
// bus (the program starts them around itself), against an instant fake
// service:
//   bridge request -> signal received on another bus connection (200, also
//   with an idle connection open)
//   1,000 connections back to back -> every word served
//   hotkey action -> mini window shown with the field focused
//   keystroke -> suggestion rows shown
//   Return -> result mode laid out (page sized)
// Medians; figures only.
#include "capture/GetWordMonitor.h"
#include "capture/GetWordServer.h"
#include "capture/MiniSearchQueryController.h"
#include "capture/MiniSearchWndController.h"
#include "capture/x11/X11FocusReturn.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"
#include "support/capture/LoopbackClient.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unistd.h>

class Counter : public QObject {
    Q_OBJECT
public:
    int count = 0;
public slots:
    void onWord(const QString&) { ++count; }
};

namespace {
// Returns as soon as `done` holds (polling at a period would round figures up).
void waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(0);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    if (!done()) loop.exec();
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double bridgeRun(quint16 port, Counter& counter, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const int before = counter.count;
        QElapsedTimer t;
        t.start();
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        s.waitForConnected(1000);
        s.write("GET /getword?word=%C6%BB%B9%FB&pos=0&type=1 HTTP/1.1\r\n");
        s.waitForBytesWritten(1000);
        waitUntil([&] { return counter.count > before; }, 2000);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(ms);
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("MIRVOK_BENCH_MINI_INNER")) {
        setenv("MIRVOK_BENCH_MINI_INNER", "1", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox --disable-dev-shm-usage", 1);
        execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--", argv[0],
               static_cast<char*>(nullptr));
        std::perror("xvfb-run");
        return 1;
    }
    QApplication app(argc, argv);
    TestEnv env;

    // Bridge.
    Counter counter;
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("bench"));
    other.connect(QString(), QStringLiteral("/"), QStringLiteral("com.mirvok.Dict"),
                  QStringLiteral("BROWSER_GOT_WORD_MSG"), &counter, SLOT(onWord(QString)));
    GetWordMonitor monitor;
    monitor.startServer(0);
    std::printf("bridge request -> signal, median of 200: %.2f ms\n", bridgeRun(monitor.port(), counter, 200));
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, monitor.port());
    idle.waitForConnected(1000);
    std::printf("  with an idle connection open:           %.2f ms\n", bridgeRun(monitor.port(), counter, 200));
    idle.abort();

    // A burst: a thousand clients connect, write and close one after another.
    {
        std::atomic<int> served{0};
        GetWordServer server([&](const browserbridge::BrowserWord&) { ++served; });
        server.start(0);
        const QByteArray request("GET /getword?word=burst&pos=0&type=1 HTTP/1.1\r\n");
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i) sendAndClose(server.port(), request);
        const double sent = t.nsecsElapsed() / 1e6;
        waitUntil([&] { return served.load() == 1000; }, 60000);
        std::printf("1000 connections back to back: all sent in %.1f ms, %d served in %.1f ms\n", sent, served.load(),
                    t.nsecsElapsed() / 1e6);
    }

    // Mini window.
    FakeHttpService svc;
    svc.on(QStringLiteral("GET"), QStringLiteral("/suggest/minisuggest"),
           ScriptedResponse(200, "<suggest><items><item><title>apple</title><explain>n. x</explain></item>"
                                 "<item><title>apply</title><explain>v. y</explain></item></items></suggest>"));
    svc.on(QStringLiteral("GET"), QStringLiteral("/fsearch"),
           ScriptedResponse(200, "<mirvodict><return-phrase>apple</return-phrase><custom-translation><translation>"
                                 "<content>n. apple</content></translation></custom-translation></mirvodict>"));
    UserDefaults::standard().setValue(MVServiceHost, svc.hostPort());
    MiniSearchWndController mini;
    mini.queryController()->setInternetActive(true);
    QTest::qWait(3000);  // the result page loads once, at start

    std::vector<double> show, keys, results;
    for (int i = 0; i < 30; ++i) {
        mini.searchField()->clear();
        QElapsedTimer t;
        t.start();
        mini.showMiniWindow();
        // Shown, the X input focus on it and the field its focus widget (Qt's
        // own active-window flag lags behind without input events).
        waitUntil([&] {
            return mini.window()->isVisible() && x11focus::focusedWindow() == quint64(mini.window()->winId())
                   && mini.window()->focusWidget() == mini.searchField();
        }, 2000);
        show.push_back(t.nsecsElapsed() / 1e6);

        bool rows = false;
        auto c1 = QObject::connect(&mini, &MiniSearchWndController::suggestionsShown, [&] { rows = true; });
        t.restart();
        QTest::keyClick(mini.searchField(), Qt::Key_A);
        waitUntil([&] { return rows; }, 2000);
        keys.push_back(t.nsecsElapsed() / 1e6);
        QObject::disconnect(c1);

        bool shown = false;
        auto c2 = QObject::connect(&mini, &MiniSearchWndController::resultShown, [&] { shown = true; });
        t.restart();
        QTest::keyClick(mini.searchField(), Qt::Key_Return);
        waitUntil([&] { return shown; }, 5000);
        results.push_back(t.nsecsElapsed() / 1e6);
        QObject::disconnect(c2);
        mini.hideMiniWindow();
        QTest::qWait(20);
    }
    std::printf("hotkey action -> mini window shown, field focused, median of 30: %.2f ms\n", median(show));
    std::printf("keystroke -> suggestion rows shown, median of 30:               %.2f ms\n", median(keys));
    std::printf("Return -> result mode laid out, median of 30:                   %.2f ms\n", median(results));
    return 0;
}

#include "bench_bridge_mini.moc"
