#include "capture/MiniSearchQueryController.h"
#include "capture/MiniSearchWndController.h"
#include "platform/hotkeys/HotkeyCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "query/RequestData.h"
#include "query/offline/OfflineDict.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"
#include "window/FrameWndController.h"
#include "window/MVAlertWndController.h"
#include "window/PreferencePanelController.h"
#include "window/ShellServices.h"
#include "window/pages/WebPageHost.h"
#include "../window/ShellFakes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <memory>
#include <optional>

#include <X11/Xlib.h>

namespace {
const QByteArray kSuggest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><suggest><items>"
    "<item><title>apple</title><explain>n. \xE8\x8B\xB9\xE6\x9E\x9C</explain></item>"
    "<item><title>applet</title></item></items></suggest>";
const QByteArray kResult =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><mirvodict><return-phrase>apple</return-phrase>"
    "<custom-translation><translation><content>n. \xE8\x8B\xB9\xE6\x9E\x9C</content></translation>"
    "</custom-translation></mirvodict>";
constexpr int kField = MiniSearchWndController::kFieldHeight;
constexpr int kOptions = (MiniSearchWndController::kOptionRowHeight + 2) * 3 + 2;
constexpr int kRow = MiniSearchWndController::kResultRowHeight + 2;
}  // namespace

class MiniWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> svc_;
    FakeHotkeyCenter hotkeys_;
    FakeWordBook wordBook_;
    FakeLookupPage* lookup_ = nullptr;
    FakeTranslationPage* fanyi_ = nullptr;
    std::unique_ptr<FrameWndController> frame_;
    std::unique_ptr<MiniSearchWndController> mini_;
    QStringList events_;

    MVMiniSearchField* field() { return mini_->searchField(); }
    void key(Qt::Key k) { QTest::keyClick(field(), k); }
    int selected(MVTableView* t) { return mini_->selectedRow(t); }
    void typeAndWaitForRows(const QString& text) {
        QSignalSpy rows(mini_.get(), &MiniSearchWndController::suggestionsShown);
        QTest::keyClicks(field(), text);
        QTRY_VERIFY(rows.count() >= 1);
        // Each keystroke replaces the request before it: wait for the last.
        QTRY_VERIFY(!svc_->requestsTo(QStringLiteral("/suggest/minisuggest")).empty()
                    && svc_->requestsTo(QStringLiteral("/suggest/minisuggest")).back().rawQuery.startsWith(
                           "q=" + text.toUtf8() + "&"));
        QTRY_COMPARE(mini_->resultArray().size(), 2);
    }

    // Offline, so the shipped dictionary answers at once.
    bool offlineResultShown(const QString& word) {
        mini_->queryController()->setInternetActive(false);
        QTest::keyClicks(field(), word);
        QSignalSpy shown(mini_.get(), &MiniSearchWndController::resultShown);
        key(Qt::Key_Return);
        return shown.wait(20000);
    }

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        OfflineDict::install();
        svc_ = std::make_unique<FakeHttpService>();
        svc_->on(QStringLiteral("GET"), QStringLiteral("/suggest/minisuggest"), ScriptedResponse{200, kSuggest});
        svc_->on(QStringLiteral("GET"), QStringLiteral("/fsearch"), ScriptedResponse{200, kResult});
        UserDefaults::standard().setValue(MVServiceHost, svc_->hostPort());
        UserDefaults::standard().setValue(MVWebSiteHost, svc_->hostPort());
        HotkeyCenter::setShared(&hotkeys_);
        ShellServices::setWordBook(&wordBook_);
        ShellServices::setLogger([this](const QString& k, const QString& v, const QVariantMap&) {
            events_ << k + QLatin1Char('=') + v;
        });
        lookup_ = new FakeLookupPage;
        fanyi_ = new FakeTranslationPage;
        auto* l = lookup_;
        auto* f = fanyi_;
        frame_ = std::make_unique<FrameWndController>([=](FrameWndController*) { return FrameWndController::Pages{l, f}; });
        DictUtils::setAppDelegate(frame_.get());
        frame_->awakeFromNib();
        mini_ = std::make_unique<MiniSearchWndController>();
        mini_->setIconGeometryFunction([] { return QRect(); });
        mini_->setAvailableGeometryFunction([] { return QRect(0, 0, 1280, 1000); });
    }
    void init() {
        mini_->queryController()->setInternetActive(true);
        mini_->showMiniWindow();
        field()->clear();
        mini_->clearTableView();
        svc_->clearRequests();
        events_.clear();
        wordBook_.syncing = false;
        lookup_->calls.clear();
    }
    void cleanup() {
        if (mini_->isShowingWindow()) mini_->hideMiniWindow();
    }
    void cleanupTestCase() {
        mini_.reset();
        DictUtils::setAppDelegate(nullptr);
        frame_.reset();
        delete lookup_;
        delete fanyi_;
        ShellServices::setWordBook(nullptr);
        ShellServices::setLogger({});
        HotkeyCenter::setShared(nullptr);
    }

    // Exact request lines; a row without an explanation is its title alone
    // (never "(null)"); the window grows by a row each.
    void typingListsSuggestions() {
        QCOMPARE(mini_->window()->height(), kOptions + kField);
        typeAndWaitForRows(QStringLiteral("ap"));
        const RecordedRequest r = svc_->requestsTo(QStringLiteral("/suggest/minisuggest")).back();
        QVERIFY2(r.rawQuery.startsWith("q=ap&keyfrom=mac.main&id="), r.rawQuery.constData());
        QVERIFY(r.rawQuery.contains("&vendor="));
        QVERIFY(r.rawQuery.endsWith("&client=vorlane&le=eng"));
        QCOMPARE(mini_->resultArray(), (QStringList{QString::fromUtf8("apple  n. 苹果"), QStringLiteral("applet")}));
        QCOMPARE(mini_->window()->height(), kOptions + 2 * kRow + kField);
        QCOMPARE(mini_->menuItemTitles(), (QStringList{QStringLiteral("打开词典"), QStringLiteral("偏好设置"), QStringLiteral("退出")}));
        QCOMPARE(mini_->window()->minimumSize(), mini_->window()->maximumSize());
    }

    // Down and Up walk both lists; past either end the selection stays.
    void keyboardWalk() {
        typeAndWaitForRows(QStringLiteral("a"));
        MVTableView* res = mini_->resultTableView();
        MVTableView* opt = mini_->optionTableView();
        key(Qt::Key_Down);
        QCOMPARE(selected(res), 0);
        key(Qt::Key_Up);  // above the first suggestion
        QCOMPARE(selected(res), 0);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        QCOMPARE(selected(res), -1);
        QCOMPARE(selected(opt), 0);
        QVERIFY(mini_->isSelectedInOptionView());
        for (int i = 0; i < 4; ++i) key(Qt::Key_Down);
        QCOMPARE(selected(opt), 2);  // past the last option
        key(Qt::Key_Up);
        key(Qt::Key_Up);
        key(Qt::Key_Up);
        QCOMPARE(selected(opt), -1);
        QCOMPARE(selected(res), 1);  // back to the last suggestion
        // Return on a suggestion looks its word up.
        key(Qt::Key_Return);
        QCOMPARE(field()->text(), QStringLiteral("applet"));
        QTRY_COMPARE(svc_->requestsTo(QStringLiteral("/fsearch")).size(), size_t(1));
        // No suggestions: Up from the first option leaves the lists.
        mini_->clearTableView();
        key(Qt::Key_Down);
        QCOMPARE(selected(opt), 0);
        key(Qt::Key_Up);
        QVERIFY(!mini_->isSelectedFromTableView());
    }

    // Return shows the page sized by its script; in result mode Return opens
    // the main window on the word. Each usage event once.
    void returnShowsTheResultThenTheMainWindow() {
        QTest::keyClicks(field(), QStringLiteral("apple"));
        QSignalSpy shown(mini_.get(), &MiniSearchWndController::resultShown);
        key(Qt::Key_Return);
        QVERIFY(shown.wait(20000));
        // The fake service records a request once it has answered it.
        QTRY_VERIFY(!svc_->requestsTo(QStringLiteral("/fsearch")).empty());
        const RecordedRequest r = svc_->requestsTo(QStringLiteral("/fsearch")).back();
        QVERIFY2(r.rawQuery.startsWith("q=apple&keyfrom=mac.miniWindow&id="), r.rawQuery.constData());
        QVERIFY(r.rawQuery.endsWith("&client=vorlane"));
        QVERIFY(mini_->isShowingResultView());
        QCOMPARE(mini_->menuItemTitles(), QStringList{QStringLiteral("查看详细释义")});
        const int page = mini_->queryController()->resultHeight();
        QVERIFY2(page > 20 && page < 200, qPrintable(QString::number(page)));
        QCOMPARE(mini_->window()->height(), (MiniSearchWndController::kOptionRowHeight + 4) + page + kField + 4);
        // Page script may report anything: the window stays on the screen.
        mini_->queryController()->resizeWnd(1e30);
        QVERIFY(mini_->queryController()->resultHeight() <= 1000);
        mini_->queryController()->resizeWnd(std::nan(""));
        QVERIFY(mini_->queryController()->resultHeight() >= 1);
        QCOMPARE(events_.count(QStringLiteral("action=mini_lookup")), 1);
        QCOMPARE(events_.count(QStringLiteral("action=miniWindow_Query")), 1);
        key(Qt::Key_Return);
        QVERIFY(!mini_->isShowingWindow());
        QVERIFY(lookup_->calls.contains(QStringLiteral("doQuery:apple")));
        QVERIFY(frame_->window()->isVisible());
    }

    // Typing while a result loads: the suggestions win, the late page does
    // not take the window back.
    void typingWhileAResultLoads() {
        svc_->on(QStringLiteral("GET"), QStringLiteral("/fsearch"), ScriptedResponse{200, kResult, "text/xml", {}, 400});
        QTest::keyClicks(field(), QStringLiteral("ap"));
        QSignalSpy shown(mini_.get(), &MiniSearchWndController::resultShown);
        key(Qt::Key_Return);
        QTest::keyClicks(field(), QStringLiteral("p"));
        QTRY_COMPARE(mini_->resultArray().size(), 2);
        QTest::qWait(1200);
        QCOMPARE(shown.count(), 0);
        QVERIFY(!mini_->isShowingResultView());
        svc_->on(QStringLiteral("GET"), QStringLiteral("/fsearch"), ScriptedResponse{200, kResult});
    }

    // Offline, Return answers from the shipped dictionary.
    void offlineReturnUsesTheShippedDictionary() {
        QVERIFY(offlineResultShown(QStringLiteral("go")));
        QVERIFY(mini_->isShowingResultView());
        QVERIFY(svc_->requestsTo(QStringLiteral("/fsearch")).empty());
    }

    // Offline with the shipped dictionary unreadable, the page says so
    // rather than "nothing found".
    void offlineWithADamagedDictionarySaysSo() {
        QTemporaryDir empty;
        RequestData::setOfflineLookup([&](const QString& w, const QString& dict, int type, int dictType) {
            return OfflineDict::answer(w, dict, type, dictType, empty.path());
        });
        const auto restore = qScopeGuard([] { OfflineDict::install(); });
        QVERIFY(offlineResultShown(QStringLiteral("go")));
        QString text;
        mini_->pageHost()->runScript(QStringLiteral("document.getElementById('result').textContent"),
                                     [&](const QVariant& v) { text = v.toString(); });
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(OfflineDict::unavailableText()), 10000);
    }

    // Hidden for long, the page is released; shown again it has its result
    // and the field its text. A write that overtakes the release keeps the
    // page as it is.
    void aReleasedPageComesBackAsItWas() {
        QVERIFY(offlineResultShown(QStringLiteral("go")));
        WebPageHost* host = mini_->pageHost();
        auto resultText = [host] {
            auto text = std::make_shared<std::optional<QString>>();
            host->runScript(QStringLiteral("document.getElementById('result').textContent"),
                            [text](const QVariant& v) { *text = v.toString(); });
            [&] { QTRY_VERIFY_WITH_TIMEOUT(text->has_value(), 20000); }();
            return text->value_or(QString());
        };
        const QString before = resultText();
        QVERIFY(!before.isEmpty());
        mini_->hideMiniWindow();
        QSignalSpy released(host, &WebPageHost::released);
        QVERIFY(host->releaseNow());
        QVERIFY(released.wait(20000));
        QVERIFY(host->isReleased());
        mini_->showMiniWindow();
        QCOMPARE(field()->text(), QStringLiteral("go"));
        QCOMPARE(resultText(), before);
        // Page script still reaches the application.
        auto channel = std::make_shared<bool>(false);
        auto ask = [&] {
            host->runScript(QStringLiteral("!!window.sharedWebChannel"),
                            [channel](const QVariant& v) { *channel = *channel || v.toBool(); });
            return *channel;
        };
        QTRY_VERIFY_WITH_TIMEOUT(ask(), 20000);

        mini_->hideMiniWindow();
        QVERIFY(host->releaseNow());
        host->setInnerHtml(QStringLiteral("result"), QStringLiteral("later"));
        QCOMPARE(resultText(), QStringLiteral("later"));
        QVERIFY(!host->isReleased());
        mini_->showMiniWindow();
        QCOMPARE(resultText(), QStringLiteral("later"));
    }

    // A focus loss of an earlier showing, delivered late, leaves the window
    // shown again open; one after it had the focus closes it.
    void lateFocusLossOfAnEarlierShowingIsIgnored() {
        mini_->hideMiniWindow();
        mini_->showMiniWindow();
        QEvent deactivate(QEvent::WindowDeactivate), activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(mini_->window(), &deactivate);
        QVERIFY(mini_->isShowingWindow());
        QCoreApplication::sendEvent(mini_->window(), &activate);
        QCoreApplication::sendEvent(mini_->window(), &deactivate);
        QVERIFY(!mini_->isShowingWindow());
        mini_->showMiniWindow();
    }

    // The window names the product and the key that opens it, as stored.
    void placeholderAndTitle() {
        QCOMPARE(mini_->window()->windowTitle(), QStringLiteral("米沃词典"));
        FrameWndController::initializeDefaults();
        mini_->hideMiniWindow();
        mini_->showMiniWindow();
        QCOMPARE(field()->placeholderText(), QStringLiteral("快捷查词（Alt+Z）"));
        UserDefaults::standard().setValue(MVMiniSearchCodeKey, 7);  // X
        mini_->hideMiniWindow();
        mini_->showMiniWindow();
        QCOMPARE(field()->placeholderText(), QStringLiteral("快捷查词（Alt+X）"));
    }

    // Paste looks up the pasted text, not the text before it.
    void pasteLooksUpTheNewText() {
        QGuiApplication::clipboard()->setText(QStringLiteral("le"));
        QTest::keyClicks(field(), QStringLiteral("app"));
        QTest::keySequence(field(), QKeySequence::Paste);
        QCOMPARE(field()->text(), QStringLiteral("apple"));
        QTRY_VERIFY(!svc_->requestsTo(QStringLiteral("/fsearch")).empty());
        QCOMPARE(svc_->requestsTo(QStringLiteral("/fsearch")).back().queryValue(QStringLiteral("q")), QStringLiteral("apple"));
    }

    void escapeHidesOnlyAnEmptyField() {
        QTest::keyClicks(field(), QStringLiteral("x"));
        key(Qt::Key_Escape);
        QVERIFY(mini_->isShowingWindow());
        field()->clear();
        key(Qt::Key_Escape);
        QVERIFY(!mini_->isShowingWindow());
    }

    void optionRowsAndTheirEvents() {
        mini_->tableViewDidClickTableRow(mini_->optionTableView(), 0);
        QVERIFY(!mini_->isShowingWindow());
        mini_->showMiniWindow();
        field()->setText(QStringLiteral("pear"));
        mini_->tableViewDidClickTableRow(mini_->optionTableView(), 0);
        QVERIFY(lookup_->calls.contains(QStringLiteral("doQuery:pear")));
        mini_->showMiniWindow();
        mini_->tableViewDidClickTableRow(mini_->optionTableView(), 1);
        QTRY_VERIFY(frame_->preferencePanelController().window()->isVisible());
        frame_->preferencePanelController().window()->hide();
        QCOMPARE(events_, (QStringList{QStringLiteral("action=mini_open"), QStringLiteral("action=mini_lookup_detail"),
                                       QStringLiteral("action=mini_preference"), QStringLiteral("show=tab_settings")}));
    }

    // "退出" while the word book synchronises asks first.
    void quitDuringASyncAsksFirst() {
        wordBook_.syncing = true;
        QSignalSpy quit(frame_.get(), &FrameWndController::quitConfirmed);
        mini_->tableViewDidClickTableRow(mini_->optionTableView(), 2);
        QCOMPARE(events_, QStringList{QStringLiteral("action=mini_exit")});
        QTRY_VERIFY(MVAlertWndController::sharedInstance().window()->isVisible());
        QCOMPARE(quit.count(), 0);
        MVAlertWndController::sharedInstance().hideWindow();
    }

    // Below the icon, above it with the panel at the bottom, the top-right
    // corner without a tray; inside the screen on either of two screens.
    void placement_data() {
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("origin");
        const QRect a(0, 24, 1280, 1000), b(1280, 0, 1920, 1050);
        const QSize s(320, 300);
        Q_UNUSED(s);
        QTest::newRow("below") << QRect(600, 0, 24, 24) << a << QPoint(600, 24);
        QTest::newRow("right edge") << QRect(1270, 0, 24, 24) << a << QPoint(960, 24);
        QTest::newRow("bottom panel") << QRect(2000, 1050, 24, 30) << b << QPoint(2000, 750);
        QTest::newRow("second screen edge") << QRect(3190, 1050, 24, 30) << b << QPoint(2880, 750);
        QTest::newRow("no tray") << QRect() << b << QPoint(2880, 0);
    }
    void placement() {
        QFETCH(QRect, icon);
        QFETCH(QRect, screen);
        QFETCH(QPoint, origin);
        QCOMPARE(MiniSearchWndController::placeWindow(icon, QSize(320, 300), screen).topLeft(), origin);
    }

    // x11 only: Escape gives the focus back to the other client's child window.
    void focusReturnsToAChildWindow() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X server");
        mini_->hideMiniWindow();
        Display* dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
        // Nobody had the focus (the root holds it): the main window stays.
        frame_->window()->show();
        XSetInputFocus(dpy, DefaultRootWindow(dpy), RevertToParent, CurrentTime);
        XSync(dpy, False);
        mini_->showMiniWindow();
        key(Qt::Key_Escape);
        QVERIFY(frame_->window()->isVisible());

        const Window top = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, 200, 200, 0, 0, 0);
        const Window child = XCreateSimpleWindow(dpy, top, 10, 10, 50, 50, 0, 0, 0);
        XMapWindow(dpy, top);
        XMapWindow(dpy, child);
        XSync(dpy, False);
        QTest::qWait(100);
        XSetInputFocus(dpy, child, RevertToParent, CurrentTime);
        XSync(dpy, False);
        QTest::qWait(100);
        frame_->window()->show();
        mini_->showMiniWindow();
        QVERIFY(QTest::qWaitForWindowActive(mini_->window()));
        key(Qt::Key_Escape);
        QVERIFY(!mini_->isShowingWindow());
        Window focus = 0;
        int revert = 0;
        QTRY_VERIFY((XGetInputFocus(dpy, &focus, &revert), focus == child));
        QVERIFY(!frame_->window()->isVisible());  // another application had the focus
        XDestroyWindow(dpy, top);
        XCloseDisplay(dpy);
    }
};

QTEST_MAIN(MiniWindowTest)
#include "tst_mini_window.moc"
