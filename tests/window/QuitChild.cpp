// The shell over the real word book: adds words, then quits by the road
// named on the command line and ends the way the application's main does.
//   quit_child ctrl-q | guard | signal
// "guard" holds the word book file locked, so writes are still pending when
// Ctrl+Q is pressed; "signal" prints "ready" and waits to be signalled.
#include "ShellFakes.h"

#include "platform/TerminationSignals.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/FrameWndController.h"
#include "window/MVAlertWndController.h"
#include "wordbook/MVWordBook.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <SQLiteCpp/SQLiteCpp.h>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, &QApplication::quit);
    if (argc < 2) return 2;
    const QByteArray road = argv[1];

    FakeHotkeyCenter hotkeys;
    HotkeyCenter::setShared(&hotkeys);
    UserDefaults::standard().setValue(MVWebSiteHost, QStringLiteral("127.0.0.1:9"));
    FakeLookupPage lookup;
    FakeTranslationPage fanyi;
    FrameWndController frame([&](FrameWndController*) { return FrameWndController::Pages{&lookup, &fanyi}; });
    frame.awakeFromNib();
    frame.window()->show();
    QObject::connect(&frame, &FrameWndController::quitConfirmed, &app, &QApplication::quit);

    ShellServices::wordBook().configure(QStringLiteral("wordbook.db"), QStringLiteral("http://127.0.0.1:9/wordbook/api"));
    MVWordBook& book = MVWordBook::sharedInstance();
    std::unique_ptr<SQLite::Database> lock;
    if (road == "guard") {
        lock = std::make_unique<SQLite::Database>(book.store()->dbPath().toStdString(), SQLite::OPEN_READWRITE);
        lock->exec("BEGIN EXCLUSIVE");
    }
    for (int i = 0; i < 1000; ++i)
        book.addWord(QStringLiteral("word%1").arg(i, 4, 10, QLatin1Char('0')), QString(), QStringLiteral("d"));

    QTimer::singleShot(0, &app, [&] {
        if (road == "signal") {
            std::printf("ready\n");
            std::fflush(stdout);
            return;
        }
        frame.window()->activateWindow();
        if (!QTest::qWaitForWindowActive(frame.window())) {
            app.exit(5);
            return;
        }
        // As a user's key press arrives: at the widget that has the focus.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
        auto& alert = MVAlertWndController::sharedInstance();
        if (lock) {
            if (!alert.window()->isVisible()) {
                std::fprintf(stderr, "the quit guard did not ask while writes were pending\n");
                app.exit(3);
                return;
            }
            lock->exec("COMMIT");
            lock.reset();
        }
        if (alert.window()->isVisible()) alert.rightButtonAction();  // 确定
    });
    const int status = app.exec();
    if (!MVWordBook::sharedInstance().finishQueuedWork(10000)) return 4;
    return status;
}
