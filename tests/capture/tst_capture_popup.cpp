#include "capture/ScrTransBridge.h"
#include "capture/ScrTransController.h"
#include "capture/WordStrokeXMLResultParser.h"
#include "platform/NotificationCenter.h"
#include "platform/UserNotices.h"
#include "query/AppConstants.h"
#include "support/FakeWordBookService.h"
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"
#include "window/pages/WebPageHost.h"
#include "wordbook/MVWordBook.h"

#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QMetaMethod>
#include <QWebEngineView>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
QString one(const QString& path, const QString& sql) {
    SQLite::Database db(path.toStdString());
    SQLite::Statement st(db, sql.toStdString());
    return st.executeStep() && !st.getColumn(0).isNull() ? QString::fromStdString(st.getColumn(0).getString())
                                                         : QString();
}

WordStrokeXMLResultPtr result(const QString& title, const QStringList& trans) {
    auto r = std::make_shared<WordStrokeXMLResult>();
    r->title = title;
    r->phone = QStringLiteral("[x]");
    r->trans = trans;
    return r;
}

QVariant evaluate(WebPageHost* host, const QString& script) {
    QVariant out;
    bool done = false;
    host->runScript(script, [&](const QVariant& v) {
        out = v;
        done = true;
    });
    guitest::spinUntil([&] { return done; }, 10000);
    return out;
}
}  // namespace

class CapturePopupTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeWordBookService> svc_;
    QString db_;

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        svc_ = std::make_unique<FakeWordBookService>();
        svc_->queueAnswer(FakeWordBookService::answer(1));
        db_ = env_->root() + QStringLiteral("/wordbook.db");
        MVWordBook::sharedInstance().configureWithDbPath(db_, svc_->url());
        ScrTransController::getInstance()->setPointerFunction([] { return QPointF(100, 100); });
    }

    // Right edge of the pointer's screen: the popup flips left; bottom
    // edge: it ends 15 below the pointer instead of starting there.
    void placementOnThePointersScreen_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("origin");
        const QRect left(0, 0, 1440, 900), right(1440, 0, 1280, 1024);
        QTest::newRow("plain") << QPointF(100, 100) << left << QSize(284, 200) << QPoint(105, 115);
        QTest::newRow("near right") << QPointF(1430, 100) << left << QSize(284, 200) << QPoint(1126, 115);
        QTest::newRow("at right") << QPointF(1437, 100) << left << QSize(284, 200) << QPoint(1128, 115);
        QTest::newRow("near bottom") << QPointF(100, 850) << left << QSize(284, 200) << QPoint(105, 665);
        QTest::newRow("second screen") << QPointF(2710, 100) << right << QSize(284, 200) << QPoint(2406, 115);
        QTest::newRow("second screen left") << QPointF(1450, 1000) << right << QSize(284, 200) << QPoint(1455, 815);
        QTest::newRow("taller than screen") << QPointF(10, 10) << left << QSize(284, 2000) << QPoint(15, 0);
    }
    void placementOnThePointersScreen() {
        QFETCH(QPointF, pointer);
        QFETCH(QRect, screen);
        QFETCH(QSize, size);
        QFETCH(QPoint, origin);
        QCOMPARE(ScrTransController::setLocation(pointer, size, screen), origin);
    }

    void nothingToShowLeavesThePopupAlone() {
        ScrTransController* p = ScrTransController::getInstance();
        QVERIFY(!p->showWindow(QString(), result(QStringLiteral("a"), {})));
        QVERIFY(!p->showWindow(QStringLiteral("<b>x</b>"), result(QString(), {})));
        QVERIFY(!p->showWindow(QStringLiteral("<b>x</b>"), nullptr));
        QVERIFY(!p->bShow());
    }

    // The page reports its height through resizeWnd; the window is three
    // points less, and never taller than the screen.
    void pageSizesThePopup() {
        ScrTransController* p = ScrTransController::getInstance();
        QSignalSpy shown(p, &ScrTransController::shown);
        QVERIFY(p->showWindow(QStringLiteral("<div style='height:120px'>x</div>"), result(QStringLiteral("tall"), {QStringLiteral("t")})));
        QVERIFY(shown.wait(20000));
        QVERIFY2(qAbs(p->window()->height() - 120) < 30, qPrintable(QString::number(p->window()->height())));
        QCOMPARE(p->window()->width(), 284);
        p->resizeWnd(203);
        QCOMPARE(p->window()->height(), 200);
        p->resizeWnd(1e30);
        QVERIFY(p->window()->height() <= p->window()->screen()->availableGeometry().height());
        p->resizeWnd(std::nan(""));
        p->resizeWnd(-5);
        QCOMPARE(p->window()->height(), 1);
        p->hideWindow();
    }

    // Service text arrives escaped; the page sees exactly two bridge calls,
    // and taking the bridge away from script does nothing.
    void pageGetsEscapedTextAndTwoBridgeMethods() {
        const QMetaObject* mo = &ScrTransBridge::staticMetaObject;
        QStringList callable;
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            if (mo->method(i).access() == QMetaMethod::Public && mo->method(i).methodType() != QMetaMethod::Constructor)
                callable << QString::fromLatin1(mo->method(i).name());
        QCOMPARE(callable, (QStringList{QStringLiteral("resizeWnd"), QStringLiteral("doQueryFullWord")}));

        WordStrokeXMLResultParser parser;
        const QString xml = QStringLiteral(
            "<mirvodict><return-phrase>evil</return-phrase><custom-translation><translation><content>"
            "&lt;img src=x onerror=\"document.title='owned'\"&gt;</content></translation></custom-translation></mirvodict>");
        ScrTransController* p = ScrTransController::getInstance();
        QSignalSpy shown(p, &ScrTransController::shown);
        QVERIFY(p->showWindow(parser.genHTML(xml).value_or(QString()), parser.parseXML(xml)));
        QVERIFY(shown.wait(20000));
        WebPageHost* host = p->pageHost();
        QCOMPARE(evaluate(host, QStringLiteral("document.querySelectorAll('#result img').length")).toInt(), 0);
        QVERIFY(evaluate(host, QStringLiteral("document.getElementById('result').textContent")).toString().contains(
            QStringLiteral("<img src=x")));
        QCOMPARE(evaluate(host, QStringLiteral("Object.keys(window.framewnd).sort().join(',')")).toString(),
                 QStringLiteral("doQueryFullWord,resizeWnd"));
        QVERIFY(evaluate(host, QStringLiteral("document.title")).toString() != QLatin1String("owned"));
        p->hideWindow();
    }

    // One add with the definition's lines joined by the two characters
    // "\n", a sync; a second click removes the word.
    void starAddsOnceAndRemoves() {
        ScrTransController* p = ScrTransController::getInstance();
        QVERIFY(p->showWindow(QStringLiteral("<b>apple</b>"),
                              result(QStringLiteral("apple"), {QString::fromUtf8("n. 苹果"), QStringLiteral("v. x")})));
        QVERIFY(!p->isFavorite());
        QCOMPARE(p->cornerColor(), QColor(251, 133, 139));
        const int syncsBefore = int(svc_->requests().size());
        QTest::mouseClick(p->favoriteButton(), Qt::LeftButton);
        // Filled once the row is in the file.
        QTRY_VERIFY(p->isFavorite());
        QCOMPARE(p->cornerColor(), QColor(228, 55, 54));
        MVWordBook::sharedInstance().waitForQueuedWork();
        QCOMPARE(one(db_, QStringLiteral("SELECT COUNT(*) FROM WORDBOOK WHERE WORD='apple'")), QStringLiteral("1"));
        const QString intp = one(db_, QStringLiteral("SELECT INTP FROM WORDBOOK WHERE WORD='apple'"));
        QVERIFY2(intp.contains(QString::fromUtf8("n. 苹果\\nv. x")), qPrintable(intp));
        QVERIFY(!intp.contains(u'\n'));
        QTRY_VERIFY_WITH_TIMEOUT(int(svc_->requests().size()) > syncsBefore, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 10000);

        // Shown again, the star remembers; a click removes.
        p->hideWindow();
        QVERIFY(p->showWindow(QStringLiteral("<b>apple</b>"), result(QStringLiteral("apple"), {})));
        QVERIFY(p->isFavorite());
        QTest::mouseClick(p->favoriteButton(), Qt::LeftButton);
        MVWordBook::sharedInstance().waitForQueuedWork();
        QVERIFY(!MVWordBook::sharedInstance().hasWord(QStringLiteral("apple")));
        // Emptied once the word is out of the file.
        QTRY_VERIFY(!p->isFavorite());
        p->hideWindow();
    }

    // A word book this version may not write (a later version's file):
    // the star stays empty and the user is told why.
    void starStaysEmptyWhenTheBookRefuses() {
        const QString newer = env_->root() + QStringLiteral("/newer.db");
        {
            SQLite::Database db(newer.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec("CREATE TABLE WORDBOOK (WORD TEXT, DATE TEXT, TIME TEXT, INTP TEXT, TS TEXT, OP TEXT, "
                    "USERNAME TEXT, SPELLTIME TEXT, LEVEL TEXT)");
        }
        QStringList told;
        usernotices::setPresenter([&](const QString& t) { told << t; });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^store: .* newer layout")));
        MVWordBook::sharedInstance().configureWithDbPath(newer, svc_->url());
        ScrTransController* p = ScrTransController::getInstance();
        QVERIFY(p->showWindow(QStringLiteral("<b>pear</b>"), result(QStringLiteral("pear"), {QStringLiteral("n. 梨")})));
        QTest::mouseClick(p->favoriteButton(), Qt::LeftButton);
        QTRY_COMPARE(told.size(), 2);  // the file at the open, then the refused word
        QVERIFY2(told.last().startsWith(QString::fromUtf8("单词没有加入单词本")), qPrintable(told.last()));
        QCoreApplication::processEvents();
        QVERIFY(!p->isFavorite());
        QCOMPARE(p->cornerColor(), QColor(251, 133, 139));
        p->hideWindow();
        usernotices::setPresenter({});
        MVWordBook::sharedInstance().configureWithDbPath(db_, svc_->url());
    }

    // The popup never takes the focus from the window the user works in,
    // and entering it announces itself to the monitors.
    void focusIsUnchanged() {
        QWidget main;
        auto* edit = new QLineEdit(&main);
        main.show();
        main.activateWindow();
        edit->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        ScrTransController* p = ScrTransController::getInstance();
        QSignalSpy shown(p, &ScrTransController::shown);
        QVERIFY(p->showWindow(QStringLiteral("<b>focus</b>"), result(QStringLiteral("focus"), {QStringLiteral("f")})));
        QVERIFY(shown.wait(20000));
        QTest::qWait(300);
        QCOMPARE(QApplication::activeWindow(), &main);
        QCOMPARE(QApplication::focusWidget(), edit);
        QVERIFY(p->window()->isVisible());
        QVERIFY(p->window()->windowFlags() & Qt::WindowDoesNotAcceptFocus);

        bool entered = false;
        NotificationCenter::defaultCenter().addObserver(MVEnterScreenTransWindow, this,
                                                        [&](const Notification&) { entered = true; });
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(p->window(), &enter);
        QVERIFY(entered);
        QCOMPARE(QApplication::activeWindow(), &main);
        NotificationCenter::defaultCenter().removeObserver(this);
        p->hideWindow();
    }

    // Last: a second channel on the page's transport disturbs the first.
    void scriptCannotDeleteTheBridge() {
        ScrTransController* p = ScrTransController::getInstance();
        QPointer<ScrTransBridge> bridge = p->bridge();
        evaluate(p->pageHost(), QStringLiteral(
            "new QWebChannel(qt.webChannelTransport, function(c){c.objects.framewnd.deleteLater();}); 1"));
        QTest::qWait(300);
        QVERIFY(bridge);
    }

    void cleanupTestCase() {
        MVWordBook::sharedInstance().waitForQueuedWork();
        delete ScrTransController::getInstance();
    }
};

QTEST_MAIN(CapturePopupTest)
#include "tst_capture_popup.moc"
