// The hand-over to the word book, auto-login and logout, with the real word
// book and the fake account and word-book services.
#include "AccountTestSupport.h"

#include "account/AccountCrypto.h"
#include "platform/UserDefaults.h"
#include "window/MVAlertWndController.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QStringList g_messages;
void captureMessages(QtMsgType, const QMessageLogContext&, const QString& msg) { g_messages << msg; }

QByteArray syncCookies(const AccountWorld& w) {
    const auto reqs = w.wbsvc.requests();
    return reqs.empty() ? QByteArray() : reqs.back().header("Cookie");
}
}  // namespace

class TestAccountSession : public QObject {
    Q_OBJECT
private slots:
    // Own login from end to end: settings, word book user, first sync with
    // the session cookies, usage event, avatar; then the user's words are
    // not asked about when the same account returns after a logout.
    void ownLoginHandsOverAndSyncCarriesCookies() {
        AccountWorld w;
        MVAuthServer server;
        QSignalSpy avatar(&server, &MVAuthServer::avatarChanged);
        const auto e = AccountWorld::login(server, "alice@mail.example", "Secret");
        QVERIFY(e.has_value() && !*e);
        auto& s = DictSettings::sharedInstance();
        QCOMPARE(s.authServerPC(), QStringLiteral("pc-token-1"));
        QCOMPARE(s.authUserName(), QStringLiteral("Alice"));
        QCOMPARE(s.currentUser(), QStringLiteral("alice@mail.example"));
        QCOMPARE(s.userEmail(), QStringLiteral("alice@mail.example"));
        QCOMPARE(s.localTimeStamp(), QStringLiteral("0"));
        QCOMPARE(MVWordBook::sharedInstance().curUser(), QStringLiteral("alice@mail.example"));
        QCOMPARE(w.screen.syncs, QList<bool>{false});
        QCOMPARE(w.screen.resets, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!w.wbsvc.requests().empty(), 5000);
        QCOMPARE(syncCookies(w), QByteArray("DICT_SESS=sess-1; DICT_LOGIN=login-1"));
        QCOMPARE(w.logs.size(), 1);
        QCOMPARE(w.logs[0].first, QStringLiteral("actioin"));
        QCOMPARE(w.logs[0].second.value("__value").toString(), QStringLiteral("login_done"));
        QCOMPARE(w.logs[0].second.value("type").toString(), QStringLiteral("kelmora"));
        QTRY_COMPARE_WITH_TIMEOUT(avatar.size(), 1, 5000);
        QVERIFY(f_noMergeQuestion(server));
    }
    static bool f_noMergeQuestion(MVAuthServer& s) { return s.mergeAlert() == nullptr; }

    // The question comes only when another account's words are here; each
    // answer reaches the first synchronisation.
    void mergeQuestionOnlyForAnotherAccount() {
        AccountWorld w;
        MVAuthServer server;
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        server.logout();
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());  // same account: no question
        QCOMPARE(w.screen.syncs, (QList<bool>{false, false}));
        for (bool keep : {true, false}) {
            QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
            server.logout();
            const QString other = keep ? QStringLiteral("bob@mail.example") : QStringLiteral("carol@mail.example");
            w.scriptUser(other);
            std::optional<AccountError> done;
            server.loginWithUsername(other, "pw", [&](const AccountError& e) { done = e; });
            QTRY_VERIFY_WITH_TIMEOUT(server.mergeAlert() != nullptr, 5000);
            MVAlertWndController* alert = server.mergeAlert();
            QCOMPARE(alert->alertMessageLabel()->text(), QStringLiteral("需要保留上一个账号的全部单词吗？"));
            QVERIFY(!done.has_value());  // the login waits for the answer
            QCOMPARE(alert->rightButton()->text(), QStringLiteral("保留"));
            (keep ? alert->rightButton() : alert->leftButton())->click();
            QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), 5000);
            QCOMPARE(w.screen.syncs.last(), keep);
            QCOMPARE(MVWordBook::sharedInstance().curUser(), other);
        }
        // A logout while the question is up ends that login: nothing of it
        // is stored, and the panel hears of a failure.
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        server.logout();
        w.scriptUser("dave@mail.example");
        std::optional<AccountError> done;
        server.loginWithUsername("dave@mail.example", "pw", [&](const AccountError& e) { done = e; });
        QTRY_VERIFY_WITH_TIMEOUT(server.mergeAlert() != nullptr, 5000);
        const int syncs = w.screen.syncs.size();
        server.logout();
        QVERIFY(done.has_value() && done->isError());
        QVERIFY(server.mergeAlert() == nullptr);
        QCOMPARE(w.screen.syncs.size(), syncs);
        QCOMPARE(MVWordBook::sharedInstance().curUser(), QStringLiteral(""));
        QVERIFY(DictSettings::sharedInstance().authUserId().isNull());
    }

    void autoLogin() {
        AccountWorld w;
        auto& cq = w.svc.http();
        // No token: no DICT-PC header; login false: nobody signed in.
        cq.on("POST", "/login/acc/co/cq", ScriptedResponse(200, R"({"login":false})", "application/json"));
        MVAuthServer server;
        std::optional<bool> r;
        server.autoLogin([&](bool ok) { r = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(r.has_value(), 5000);
        QCOMPARE(*r, false);
        QVERIFY(!server.hasLogined());
        auto req = cq.requestsTo("/login/acc/co/cq").back();
        QCOMPARE(req.method, QStringLiteral("POST"));
        QCOMPARE(req.rawQuery, QByteArray("cf=7&product=DICT&um=true"));
        QVERIFY(req.header("DICT-PC").isEmpty());
        QVERIFY(req.body.isEmpty());
        // Signed in, but naming nobody: nobody signed in.
        cq.on("POST", "/login/acc/co/cq", ScriptedResponse(200, R"({"login":true,"DICT-PC":"pc","userid":null})", "application/json"));
        r.reset();
        server.autoLogin([&](bool ok) { r = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(r.has_value(), 5000);
        QVERIFY(!*r && !server.hasLogined());
        // Not JSON: "done", nothing changes.
        cq.on("POST", "/login/acc/co/cq", ScriptedResponse(200, "<html>"));
        r.reset();
        server.autoLogin([&](bool ok) { r = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(r.has_value(), 5000);
        QVERIFY(*r && !server.hasLogined());
        // A 3 s answer: the event loop keeps running meanwhile; the stored
        // token and cookies go out, and login true hands over.
        DictSettings::sharedInstance().setAuthServerPC("pc-token-1");
        CookieJar::shared().setCookiesFromUrl(QNetworkCookie::parseCookies("DICT_SESS=s0; Path=/"),
                                              QUrl(cq.baseUrl()));
        cq.on("POST", "/login/acc/co/cq",
              ScriptedResponse(200, R"({"login":true,"userid":"dave@mail.example","username":"Dave","DICT-PC":"pc-token-2"})",
                               "application/json", {}, 3000));
        r.reset();
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(50);
        QElapsedTimer t;
        t.start();
        server.autoLogin([&](bool ok) { r = ok; });
        QVERIFY(t.elapsed() < 50);
        QTRY_VERIFY_WITH_TIMEOUT(r.has_value(), 8000);
        QVERIFY(ticks > 30);
        QVERIFY(*r && server.hasLogined());
        req = cq.requestsTo("/login/acc/co/cq").back();
        QCOMPARE(req.header("DICT-PC"), QByteArray("pc-token-1"));
        QCOMPARE(req.header("Cookie"), QByteArray("DICT_SESS=s0"));
        QCOMPARE(DictSettings::sharedInstance().authUserId(), QStringLiteral("dave@mail.example"));
    }

    // A manual login started while auto-login waits wins; the late
    // auto-login answer changes nothing.
    void manualLoginBeatsPendingAutoLogin() {
        AccountWorld w;
        w.svc.http().on("POST", "/login/acc/co/cq",
                        ScriptedResponse(200, R"({"login":true,"userid":"mallory","DICT-PC":"m"})", "application/json", {}, 800));
        MVAuthServer server;
        bool autoDone = false;
        server.autoLogin([&](bool) { autoDone = true; });
        QVERIFY(w.svc.http().waitForRequests(1, 3000));
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTest::qWait(1200);
        QVERIFY(!autoDone);
        QCOMPARE(DictSettings::sharedInstance().authUserId(), QStringLiteral("alice@mail.example"));
    }

    void logoutEndsTheSession() {
        AccountWorld w;
        MVAuthServer server;
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        QVERIFY(QFile(CookieJar::shared().storagePath()).exists());
        server.logout();
        QVERIFY(!server.hasLogined());
        auto& s = DictSettings::sharedInstance();
        QVERIFY(s.authServerPC().isNull() && s.authUserId().isNull() && s.currentUser().isNull());
        QCOMPARE(s.lastLoginUser(), QStringLiteral("alice@mail.example"));
        QCOMPARE(MVWordBook::sharedInstance().curUser(), QStringLiteral(""));
        QCOMPARE(MVWordBook::sharedInstance().preUser(), QStringLiteral("alice@mail.example"));
        auto& d = UserDefaults::standard();
        for (const char* gone : {"DICT-PC", "DICT_SESS", "DICT_LOGIN", "kDictSess_value", "kDictLogin_domain"})
            QVERIFY2(!d.contains(gone), gone);
        QCOMPARE(d.stringValue("userid"), QStringLiteral("alice@mail.example"));
        QCOMPARE(d.stringValue("username"), QStringLiteral("Alice"));
        QVERIFY(CookieJar::shared().cookies().isEmpty());
        QFile jar(CookieJar::shared().storagePath());
        QVERIFY(jar.open(QIODevice::ReadOnly));
        QVERIFY(!jar.readAll().contains("DICT_"));
    }

    // The synchronisation running at logout still carries the session and
    // commits for its user; the session ends when it has finished.
    void logoutDuringSyncWaitsForIt() {
        AccountWorld w;
        MVAuthServer server;
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        const size_t before = w.wbsvc.requests().size();
        w.wbsvc.queueAnswer(FakeWordBookService::answer(
                                0, "300", "301", FakeWordBookService::action("add", "apple", "n. 苹果")),
                            200, 600);
        MVWordBook::sharedInstance().startSyncWithDelegate(nullptr, false);
        QTRY_VERIFY_WITH_TIMEOUT(w.wbsvc.requests().size() > before, 5000);
        server.logout();
        QVERIFY(!server.hasLogined() && server.isLogoutPending());
        QVERIFY(!CookieJar::shared().cookies().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!server.isLogoutPending(), 8000);
        QCOMPARE(syncCookies(w), QByteArray("DICT_SESS=sess-1; DICT_LOGIN=login-1"));
        QVERIFY(CookieJar::shared().cookies().isEmpty());
        QVERIFY(DictSettings::sharedInstance().authUserId().isNull());

        // Quitting while the logout waits still ends the session.
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        w.wbsvc.queueAnswer(FakeWordBookService::answer(1), 200, 2000);
        MVWordBook::sharedInstance().startSyncWithDelegate(nullptr, false);
        server.logout();
        QVERIFY(server.isLogoutPending());
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit"));
        QVERIFY(!server.isLogoutPending());
        QVERIFY(CookieJar::shared().cookies().isEmpty());
        QVERIFY(!UserDefaults::standard().contains("DICT-PC"));
    }

    // Neither the password nor its digest reaches a log line, a usage event
    // or a plain request.
    void credentialsStayOutOfLogs() {
        AccountWorld w;
        g_messages.clear();
        auto old = qInstallMessageHandler(captureMessages);
        MVAuthServer server;
        const QString pw = QStringLiteral("Pa55-word!");
        const QString digest = MD5Encrypt::encrypt(pw);
        QVERIFY(!AccountWorld::login(server, "alice@mail.example", pw).value());
        w.svc.onTls("/login/acc/login", ScriptedResponse(200, R"({"tpcode":460})"));
        QCOMPARE(AccountWorld::login(server, "alice@mail.example", pw)->code, 4);
        w.svc.onTls("/login/acc/login", ScriptedResponse(500, "x"));
        QCOMPARE(AccountWorld::login(server, "alice@mail.example", pw)->code, 1000);
        qInstallMessageHandler(old);
        for (const QString& m : g_messages) QVERIFY2(!m.contains(pw) && !m.contains(digest), qPrintable(m));
        for (const auto& [k, extras] : w.logs)
            for (const QVariant& v : extras) QVERIFY(!v.toString().contains(digest));
        for (const auto& r : w.svc.http().requests()) QVERIFY(!r.rawQuery.contains(digest.toLatin1()));
    }
};

QTEST_MAIN(TestAccountSession)
#include "tst_account_session.moc"
