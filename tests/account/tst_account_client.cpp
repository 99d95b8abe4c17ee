// The account service client against the fake service: the exact requests,
// how replies are classified, and what a failure leaves behind.
#include "account/AccountCrypto.h"
#include "account/AvatarLoader.h"
#include "account/LoginPanelController.h"
#include "account/MVAuthServer.h"
#include "platform/CookieJar.h"
#include "platform/UserDefaults.h"
#include "query/DictSettings.h"
#include "support/FakeAccountService.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>
#include <memory>

namespace {
// A 1024-bit public key made with OpenSSL (DER, Base64).
const QByteArray kRsaKey = "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQC+UW6Y68jP5lGPyljTsPnJ+NgIm3cNWt6xXkXo1PAvT28Jkf8lLU9rdfUfWIdILFIJzRtYrlfmOWi8VqDfnrm0lnLBb5MMrucjCNE4/g+DZy4xfy4MG1Ysm+WAjYzAudthirmUSwDyFPr3RcMnfuJNvF8kJZd7bu4X2t9svyWEdwIDAQAB";

struct Fixture {
    TestEnv env;
    std::unique_ptr<FakeAccountService> svc;
    explicit Fixture(bool stranger = false) : svc(std::make_unique<FakeAccountService>(stranger)) {
        DictSettings::sharedInstance().resetForTesting();
        CookieJar::shared().setStorageFolder(env.dataHome());
        CookieJar::shared().clear();
        svc->scriptHappyPath();
        svc->pointDefaultsHere();
    }
};

AccountError login(MVAuthServer& server, const QString& name, const QString& password) {
    std::optional<AccountError> result;
    server.loginWithUsername(name, password, [&](const AccountError& e) { result = e; });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 15000)) return {QStringLiteral("timeout"), -1, {}, {}};
    return *result;
}

ScriptedResponse jsonReply(const QByteArray& body, QList<QPair<QByteArray, QByteArray>> headers = {}) {
    return ScriptedResponse(200, body, "application/json", std::move(headers));
}
}  // namespace

class TestAccountClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FakeAccountService::trustTestCa(); }

    // The query keys in their order, the name as a query value (so "&", "="
    // and non-ASCII letters cannot split it), the password only as digest.
    void ownLoginSendsExactRequestAndSignsIn() {
        Fixture f;
        MVAuthServer server;
        const QString name = QStringLiteral("a&b=c+d 张");
        QVERIFY(!login(server, name, QStringLiteral("Secret")));
        const auto tls = f.svc->tlsRequests();
        QCOMPARE(int(tls.size()), 1);
        QCOMPARE(tls[0].path, QStringLiteral("/login/acc/login"));
        QCOMPARE(tls[0].rawQuery, QByteArray("app=client&product=DICT&tp=vyrtoken&cf=7&show=true&format=json"
                                             "&username=a%26b%3Dc%2Bd%20%E5%BC%A0"
                                             "&password=" + MD5Encrypt::encrypt("Secret").toLatin1() + "&um=true"));
        QCOMPARE(MD5Encrypt::encrypt("Secret"), QStringLiteral("1e6947ac7fb3a9529a9726eb692c8cc5"));
        QVERIFY(MD5Encrypt::encrypt("Secret") != MD5Encrypt::encrypt("secret"));
        const auto profile = f.svc->http().requestsTo("/profile/batch/get");
        QCOMPARE(int(profile.size()), 1);
        QCOMPARE(profile[0].queryValue("content"), QStringLiteral("[\"option_avatar\"]"));
        QCOMPARE(profile[0].queryValue("userid"), name);
        QVERIFY(f.svc->http().requestsTo("/login/acc/rp").empty());
        QVERIFY(server.hasLogined());
        auto& d = UserDefaults::standard();
        QCOMPARE(d.integerValue("loginSuccessType"), 2);
        QCOMPARE(d.stringValue("DICT_SESS"), QStringLiteral("sess-1"));
        QCOMPARE(d.stringValue("DICT_LOGIN"), QStringLiteral("login-1"));
        QCOMPARE(DictSettings::sharedInstance().authUserId(), QStringLiteral("alice@mail.example"));
        QCOMPARE(DictSettings::sharedInstance().userImageUrl(), f.svc->http().baseUrl() + "/avatar-small.png");
        QCOMPARE(CookieJar::shared().cookieHeaderForUrl(QUrl(f.svc->http().baseUrl() + "/wordbook/api")),
                 QByteArray("DICT_SESS=sess-1; DICT_LOGIN=login-1"));
        QCOMPARE(d.stringValue("kDictSess_value"), QStringLiteral("sess-1"));
        QCOMPARE(int(QFile::permissions(CookieJar::shared().storagePath()) & 0x0077), 0);
    }

    void refusalsAndFailures_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<int>("rpRequests");
        QTest::newRow("tpcode 503") << 200 << QByteArray(R"({"tpcode":503})") << "LoginStateDomain" << 5 << "服务器错误" << 0;
        QTest::newRow("tpcode 421") << 200 << QByteArray(R"({"tpcode":421})") << "LoginStateDomain" << 6 << "登录失败" << 0;
        QTest::newRow("tpcode 412") << 403 << QByteArray(R"({"tpcode":412})") << "LoginStateDomain" << 1 << "登录错误超过6次" << 0;
        QTest::newRow("no userid") << 200 << QByteArray(R"({"DICT-PC":"x"})") << "DictRequestErrorDomain" << 1000 << "登录失败" << 1;
        QTest::newRow("null userid") << 200 << QByteArray(R"({"DICT-PC":"pc","userid":null})") << "DictRequestErrorDomain" << 1000 << "登录失败" << 1;
        QTest::newRow("empty token") << 200 << QByteArray(R"({"DICT-PC":"","userid":"u"})") << "DictRequestErrorDomain" << 1000 << "登录失败" << 1;
        QTest::newRow("not json") << 200 << QByteArray("<html>") << "DictRequestErrorDomain" << 1000 << "登录失败" << 1;
        QTest::newRow("500 with user") << 500 << QByteArray(R"({"DICT-PC":"x","userid":"u"})") << "DictRequestErrorDomain" << 1000 << "登录失败" << 1;
    }
    // Refusals name their reason and are final; other failures send one rp
    // request without credentials; nothing of a failed login is stored.
    void refusalsAndFailures() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        Fixture f;
        f.svc->onTls("/login/acc/login", ScriptedResponse(status, body, "application/json",
                                                          {{"Set-Cookie", "DICT_SESS=bad; Path=/"}}));
        MVAuthServer server;
        const AccountError e = login(server, "bob", "pw");
        QTEST(e.domain, "domain");
        QTEST(e.code, "code");
        QTEST(LoginPanelController::hintForError(e), "hint");
        const auto rp = f.svc->http().requestsTo("/login/acc/rp");
        QTEST(int(rp.size()), "rpRequests");
        if (!rp.empty()) QCOMPARE(rp[0].rawQuery, QByteArray("app=client&product=DICT&tp=vyrtoken&al=RE1&format=json"));
        QVERIFY(!server.hasLogined());
        QVERIFY(!UserDefaults::standard().contains("loginSuccessType"));
        QVERIFY(!UserDefaults::standard().contains("userid"));
        QVERIFY(DictSettings::sharedInstance().authUserId().isNull());
    }

    // TLS is never given up: a refused port and a certificate the trusted CA
    // did not sign both fail, and no plain request carries the credentials.
    void transportFailuresNeverFallBackToHttp() {
        for (bool stranger : {false, true}) {
            Fixture f(stranger);
            if (!stranger) {
                QTcpServer probe;
                QVERIFY(probe.listen(QHostAddress::LocalHost));
                const quint16 port = probe.serverPort();
                probe.close();
                UserDefaults::standard().setValue("MVServiceTLSHost", QStringLiteral("127.0.0.1:%1").arg(port));
            }
            MVAuthServer server;
            const AccountError e = login(server, "bob", "hunter2");
            QCOMPARE(e.domain, AccountError::kNetworkDomain);
            QCOMPARE(LoginPanelController::hintForError(e), QStringLiteral("登录失败"));
            QVERIFY(f.svc->tlsRequests().empty());
            QCOMPARE(int(f.svc->http().requestsTo("/login/acc/rp").size()), 1);
            for (const auto& r : f.svc->http().requests()) {
                QVERIFY2(!r.rawQuery.contains(MD5Encrypt::encrypt("hunter2").toLatin1()), r.rawQuery.constData());
                QVERIFY(!r.rawQuery.contains("password"));
            }
        }
    }

    void rpReplies() {
        Fixture f;
        MVAuthServer server;
        auto rp = [&](const QByteArray& body) {
            f.svc->http().on("GET", "/login/acc/rp", jsonReply(body));
            std::optional<AccountError> out;
            server.authServerRP("cqq", QString(), [&](const AccountError& e) { out = e; });
            [&] { QVERIFY(QTest::qWaitFor([&] { return out.has_value(); }, 5000)); }();
            return out.value_or(AccountError{"timeout", -1, {}, {}});
        };
        QVERIFY(!rp(R"({"pci":"p1","pc":"k","ecode":7})"));  // pci wins
        QCOMPARE(server.userInfo().value("pci").toString(), QStringLiteral("p1"));
        const AccountError e = rp(R"({"ecode":7})");
        QCOMPARE(e.domain, AccountError::kAuthServerDomain);
        QCOMPARE(e.code, 7);
        QCOMPARE(server.userInfo().value("pci").toString(), QStringLiteral("p1"));
        QCOMPARE(rp("nonsense").code, 1000);
        QCOMPARE(f.svc->http().requestsTo("/login/acc/rp").back().rawQuery,
                 QByteArray("app=client&product=DICT&tp=cqq&format=json"));
    }

    // Cookie values come from the parsed Set-Cookie lines by exact name: a
    // last cookie without ";" counts, a longer name containing ours does not.
    void sessionCookiesByName() {
        Fixture f;
        f.svc->onTls("/login/acc/login",
                     jsonReply(R"({"DICT-PC":"pc","userid":"u1"})",
                               {{"Set-Cookie", "X_DICT_SESS=evil; Path=/"},
                                {"Set-Cookie", "DICT_SESS=good; Path=/; HttpOnly"},
                                {"Set-Cookie", "DICT_LOGIN=last"}}));
        MVAuthServer server;
        QVERIFY(!login(server, "u1", "pw"));
        QCOMPARE(UserDefaults::standard().stringValue("DICT_SESS"), QStringLiteral("good"));
        QCOMPARE(UserDefaults::standard().stringValue("DICT_LOGIN"), QStringLiteral("last"));
    }

    // Reply and defaults values become request headers: CR/LF in them would
    // inject headers, so such a value counts as absent.
    void headerValuesWithControlCharactersAreDropped() {
        Fixture f;
        DictSettings::sharedInstance().setAuthServerPC("tok\r\nX-Evil: 1");
        f.svc->http().on("POST", "/login/acc/co/cq", jsonReply(R"({"login":false})"));
        MVAuthServer server;
        std::optional<bool> done;
        server.autoLogin([&](bool ok) { done = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(done.has_value(), 5000);
        const auto r = f.svc->http().requestsTo("/login/acc/co/cq");
        QCOMPARE(int(r.size()), 1);
        QVERIFY(r[0].header("DICT-PC").isEmpty());
        QVERIFY(r[0].header("X-Evil").isEmpty());
        QVERIFY(AccountRequest::isSafeHeaderValue("pc-token-1"));
    }

    // The defaults file holds the session token: owner only, new or old.
    void defaultsFileIsOwnerOnly() {
        TestEnv env;
        const QString path = UserDefaults::standardPath();
        UserDefaults::standard().setValue("DICT-PC", "t");
        UserDefaults::standard().sync();
        QCOMPARE(int(QFile::permissions(path) & 0x0077), 0);
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther | QFileDevice::ReadGroup);
        env.restart();
        UserDefaults::standard().setValue("DICT-PC", "u");
        UserDefaults::standard().sync();
        QCOMPARE(int(QFile::permissions(path) & 0x0077), 0);
    }

    // Avatars come from the network: only http(s), at most 2 MiB, and no
    // picture whose header asks for a huge allocation.
    void avatarLimits() {
        Fixture f;
        f.svc->http().on("GET", "/big.png", ScriptedResponse(200, QByteArray(AvatarLoader::kMaxBytes + 1, 'x'), "image/png"));
        AvatarLoader loader;
        auto load = [&](const QString& url) {
            std::optional<QImage> out;
            loader.load(QUrl(url), [&](const QImage& i) { out = i; });
            [&] { QVERIFY(QTest::qWaitFor([&] { return out.has_value(); }, 5000)); }();
            return out.value_or(QImage());
        };
        QVERIFY(!load(f.svc->http().baseUrl() + "/avatar.png").isNull());
        QVERIFY(load("file:///etc/hostname").isNull());
        QVERIFY(load(f.svc->http().baseUrl() + "/big.png").isNull());
        QVERIFY(!AvatarLoader::decode(FakeAccountService::pngBytes(4096, 1)).isNull());
        QVERIFY(AvatarLoader::decode(FakeAccountService::pngBytes(4097, 1)).isNull());
    }

    // The http login variant: credentials only inside the RSA cipher.
    void loginOverHttpEncryptsCredentials() {
        Fixture f;
        f.svc->http().on("GET", "/login/acc/login", ScriptedResponse(200, R"({"tpcode":460})", "application/json"));
        MVAuthServer server;
        std::optional<AccountError> out;
        server.loginVYRWithHTTP("bob", "pw", {{"pci", "p&1"}, {"pc", QString::fromLatin1(QByteArray::fromBase64(kRsaKey).toHex())}},
                                [&](const AccountError& e) { out = e; });
        QTRY_VERIFY_WITH_TIMEOUT(out.has_value(), 5000);
        QCOMPARE(out->code, 4);
        const auto r = f.svc->http().requestsTo("/login/acc/login").back();
        QCOMPARE(r.rawQuery, QByteArray("app=client&product=DICT&tp=vyrtoken&cf=7&show=true&format=json&pci=p%261&um=true"));
        QCOMPARE(r.header("lo").size(), 256);
        QVERIFY(f.svc->http().requestsTo("/login/acc/rp").empty());
    }

    void emailFilterAndRsa() {
        QCOMPARE(EmailFilter::filterEmails("bob").size(), 5);
        QCOMPARE(EmailFilter::filterEmails("bob@KEMO-V"), QStringList{"bob@kemo-vip.example"});
        // A real key from OpenSSL, read from memory: the cipher is one modulus long.
        const QByteArray der = QByteArray::fromBase64(kRsaKey);
        QCOMPARE(RSAEncrypt::encryptTextWithHexPublicKey("username=a&password=b", der.toHex()).size(), 128);
        QVERIFY(RSAEncrypt::encryptTextWithHexPublicKey("x", "zz").isEmpty());
        QVERIFY(RSAEncrypt::formatPublicKey(QString(100, 'A')).contains(QByteArray(76, 'A') + "\n" + QByteArray(24, 'A')));
    }
};

QTEST_MAIN(TestAccountClient)
#include "tst_account_client.moc"
