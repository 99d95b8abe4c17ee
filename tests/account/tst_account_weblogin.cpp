// The web login in a real web view against the fake account service: the
// page's cookies complete the login, and the next sync carries them.
#include "AccountTestSupport.h"

#include "account/LoginPanelController.h"
#include "account/MVOAuthLoginController.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <optional>

namespace {
MVOAuthLoginController& web() { return MVOAuthLoginController::sharedInstance(); }

bool pageShows(const QString& path) {
    return QTest::qWaitFor([&] { return web().loginWebView()->url().path() == path && !web().isLoading(); }, 15000);
}
void runJs(const QString& js) { web().loginWebView()->page()->runJavaScript(js); }
}  // namespace

class TestAccountWebLogin : public QObject {
    Q_OBJECT
private slots:
    void cleanupTestCase() { web().releasePage(); }
    void cleanup() {
        web().closeWindow();
        QTest::qWait(50);
    }

    // rp → page with pci → cookies from a redirect (one HttpOnly) → poll with
    // pc → cq with DICT-PC → hand-over → windows closed → avatar; then the
    // word-book sync sends the page's cookies.
    void pageCookiesCompleteTheLogin() {
        AccountWorld w;
        auto& server = MVAuthServer::sharedInstance();
        QSignalSpy avatar(&server, &MVAuthServer::avatarChanged);
        LoginPanelController::sharedInstance().showWindow();
        web().setLoginType(0);
        web().showWindow();
        QVERIFY(pageShows("/login/acc/login"));
        QCOMPARE(w.svc.http().requestsTo("/login/acc/rp").back().queryValue("tp"), QStringLiteral("cqq"));
        const auto page = w.svc.http().requestsTo("/login/acc/login").back();
        QCOMPARE(page.rawQuery, QByteArray("app=client&product=DICT&tp=cqq&cf=7&pci=pci-1&um=true"));
        // Focus changes do not reload the page (nor ask rp again).
        QWidget other;
        other.show();
        other.activateWindow();
        web().window()->activateWindow();
        QTest::qWait(200);
        QCOMPARE(int(w.svc.http().requestsTo("/login/acc/rp").size()), 1);
        QCOMPARE(int(w.svc.http().requestsTo("/login/acc/login").size()), 1);

        runJs("document.getElementById('go').click()");
        QTRY_VERIFY_WITH_TIMEOUT(server.hasLogined(), 15000);
        QVERIFY(!web().window()->isVisible());
        QVERIFY(!LoginPanelController::sharedInstance().window()->isVisible());
        const auto poll = w.svc.http().requestsTo("/login/acc/poll").back();
        QCOMPARE(poll.header("pc"), QByteArray("pc-1"));
        const auto cq = w.svc.http().requestsTo("/login/acc/co/cq").back();
        QCOMPARE(cq.method, QStringLiteral("GET"));
        QCOMPARE(cq.header("DICT-PC"), QByteArray("pc-token-1"));
        QCOMPARE(UserDefaults::standard().integerValue("loginSuccessType"), 0);
        QCOMPARE(w.logs.last().second.value("type").toString(), QStringLiteral("qq"));
        QTRY_VERIFY_WITH_TIMEOUT(!w.svc.http().requestsTo("/avatar-big.png").empty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(avatar.size() >= 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!w.wbsvc.requests().empty(), 5000);
        const QByteArray cookie = w.wbsvc.requests().back().header("Cookie");
        QVERIFY2(cookie.contains("DICT_SESS=sess-1") && cookie.contains("DICT_LOGIN=login-1"), cookie.constData());
    }

    // Cookies set by a fetch (no page load after them) still complete it;
    // a poll that says "not yet" leaves the window open for the next try.
    void fetchCookiesAndRetry() {
        AccountWorld w;
        auto& server = MVAuthServer::sharedInstance();
        std::atomic<int> polls{0};
        std::atomic<int> refuse{2};
        w.svc.http().on("GET", "/login/acc/poll", [&](const RecordedRequest&) {
            ++polls;
            // "Not yet", then signed in as nobody: both leave the window open.
            return refuse == 2   ? ScriptedResponse(200, R"({"login":false})", "application/json")
                   : refuse == 1 ? ScriptedResponse(200, R"({"login":true,"DICT-PC":"t7","userid":""})", "application/json")
                              : ScriptedResponse(200, R"({"login":true,"userid":"weibo-7","DICT-PC":"t7"})",
                                                 "application/json");
        });
        web().setLoginType(1);
        web().showWindow();
        QVERIFY(pageShows("/login/acc/login"));
        QCOMPARE(w.svc.http().requestsTo("/login/acc/rp").back().queryValue("tp"), QStringLiteral("tsina"));
        for (const char* script : {"fetch('/login/acc/setcookie')", "location.reload()"}) {
            const int before = polls;
            runJs(script);
            QTRY_VERIFY_WITH_TIMEOUT(polls > before, 15000);
            QTest::qWait(300);
            QVERIFY(!server.hasLogined());
            QVERIFY(web().window()->isVisible());
            --refuse;
        }
        runJs("location.reload()");
        QTRY_VERIFY_WITH_TIMEOUT(server.hasLogined(), 15000);
        QCOMPARE(UserDefaults::standard().integerValue("loginSuccessType"), 1);
        QCOMPARE(DictSettings::sharedInstance().authUserId(), QStringLiteral("weibo-7"));
    }

    // The poll answers with what the service gives a web login (no user id,
    // the token optional) and auto-login with no more than "login": both
    // sign in, and the stored user id stays. Members that are there but
    // unusable still refuse.
    void answersWithoutUserIdSignIn() {
        AccountWorld w;
        auto& server = MVAuthServer::sharedInstance();
        auto& s = DictSettings::sharedInstance();
        s.setAuthUserId(QStringLiteral("qq-5"));
        std::atomic<int> polls{0};
        std::atomic<int> answer{0};
        w.svc.http().on("GET", "/login/acc/poll", [&](const RecordedRequest&) {
            static const char* const answers[] = {
                R"({"login":true,"DICT-PC":"t\u0001x","username":"WebReader"})",
                R"({"login":true,"userid":5,"username":"WebReader"})",
                R"({"login":true,"DICT-PC":"qq-token","username":"WebReader"})"};
            ++polls;
            return ScriptedResponse(200, answers[answer], "application/json");
        });
        w.svc.http().on("GET", "/login/acc/co/cq", ScriptedResponse(200, R"({"login":true})", "application/json"));
        web().setLoginType(0);
        web().showWindow();
        QVERIFY(pageShows("/login/acc/login"));
        for (const char* script : {"fetch('/login/acc/setcookie')", "location.reload()"}) {
            const int before = polls;
            runJs(script);
            QTRY_VERIFY_WITH_TIMEOUT(polls > before, 15000);
            QTest::qWait(300);
            QVERIFY(!server.hasLogined());
            ++answer;
        }
        QVERIFY(w.svc.http().requestsTo("/login/acc/co/cq").empty());
        runJs("location.reload()");
        QTRY_VERIFY_WITH_TIMEOUT(server.hasLogined(), 15000);
        QCOMPARE(w.svc.http().requestsTo("/login/acc/co/cq").back().header("DICT-PC"), QByteArray("qq-token"));
        QCOMPARE(s.authUserName(), QStringLiteral("WebReader"));
        QCOMPARE(s.authServerPC(), QStringLiteral("qq-token"));
        QCOMPARE(s.authUserId(), QStringLiteral("qq-5"));
        QCOMPARE(UserDefaults::standard().integerValue("loginSuccessType"), 0);

        for (const char* reply : {R"({"login":1})", R"({"login":true,"username":"x"})"}) {
            (void)QTest::qWaitFor([] { return !MVWordBook::sharedInstance().isSyncing(); }, 10000);
            server.logout();
            s.setAuthUserId(QStringLiteral("qq-5"));
            w.svc.http().on("POST", "/login/acc/co/cq", ScriptedResponse(200, reply, "application/json"));
            std::optional<bool> r;
            server.autoLogin([&](bool ok) { r = ok; });
            QTRY_VERIFY_WITH_TIMEOUT(r.has_value(), 5000);
            QVERIFY2(*r && server.hasLogined(), reply);
            QCOMPARE(s.authUserId(), QStringLiteral("qq-5"));
            QCOMPARE(s.currentUser(), QStringLiteral("qq-5"));
        }
        QCOMPARE(s.authUserName(), QStringLiteral("x"));
    }

    // An rp answer without pci stops the indicator and says so; reopening retries.
    void rpWithoutPciShowsAnError() {
        AccountWorld w;
        w.svc.http().on("GET", "/login/acc/rp", ScriptedResponse(200, R"({"ecode":3})", "application/json"));
        web().showWindow();
        QTRY_VERIFY_WITH_TIMEOUT(web().errorLabel()->isVisibleTo(web().window()), 5000);
        QVERIFY(!web().isLoading());
        web().closeWindow();
        w.svc.scriptHappyPath();
        web().showWindow();
        QVERIFY(pageShows("/login/acc/login"));
        QVERIFY(!web().errorLabel()->isVisibleTo(web().window()));
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestAccountWebLogin t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_account_weblogin.moc"
