#include "models/MainQueryResult.h"
#include "query/DeviceHelper.h"
#include "query/RequestData.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// Collects every callback of one RequestData.
struct Answers {
    QList<QVariant> got;
    RequestData::Callback sink() {
        return [this](const QVariant& a) { got.append(a); };
    }
    bool waitFor(int n, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < ms) QTest::qWait(10);
        return got.size() >= n;
    }
};

QString common(const QString& keyfrom) {
    return QStringLiteral("keyfrom=%1&id=%2&vendor=%3&client=vorlane")
        .arg(keyfrom, machineId(), vendorAndVersionParam());
}

}  // namespace

class TestQueryRequest : public QObject {
    Q_OBJECT
private slots:
    void escapeURL_data();
    void escapeURL();
    void commonParameters();
    void osMinorVersion();
    void requestLinesPerEndpoint();
    void postBodyAndHeaders();
    void httpErrorStatusIsStillABody();
    void emptyBodyIsNotNil();
    void transportFailureAndTimeout();
    void newRequestSupersedesOld();
    void nullTargetKeepsPreviousAndDestroyedTargetIsNotCalled();
    void unusableAddressCallsBackAtOnce();
    void offlineEntryPoint();

private:
    TestEnv env_;
    FakeHttpService svc_;
};

void TestQueryRequest::escapeURL_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("space") << " " << "%20";
    QTest::newRow("ampersand") << "&" << "%26";
    QTest::newRow("equals") << "=" << "%3D";
    QTest::newRow("slash") << "/" << "%2F";
    QTest::newRow("quote") << "\"" << "%22";
    QTest::newRow("percent") << "%" << "%25";
    QTest::newRow("chinese") << QString::fromUtf8("中") << "%E4%B8%AD";
    QTest::newRow("kept") << "aZ09-_.~*()" << "aZ09-_.~*()";
    QTest::newRow("reserved and table") << "!#$'+,:;?@[]\\^`<>{|}"
                                        << "%21%23%24%27%2B%2C%3A%3B%3F%40%5B%5D%5C%5E%60%3C%3E%7B%7C%7D";
    QTest::newRow("control") << QString(QChar(0x0A)) << "%0A";
    QTest::newRow("apostrophe word") << "don't stop" << "don%27t%20stop";
}

void TestQueryRequest::escapeURL() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(RequestData::escapeURL(in), out);
}

void TestQueryRequest::commonParameters() {
    QCOMPARE(md5HexString(QStringLiteral("null")), QStringLiteral("37A6259CC0C1DAE299A7866489DFF0BD"));
    QCOMPARE(md5HexString(QString()), QStringLiteral("D41D8CD98F00B204E9800998ECF8427E"));
    const QString serial = DeviceHelper::serialNumber();
    QCOMPARE(machineId(), md5HexString(serial.isNull() ? QStringLiteral("null") : serial));
    QVERIFY(machineId().contains(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$"))));
    // The channel from resources/vendor, then the version; '&' and '=' survive.
    QVERIFY(vendorAndVersionParam().contains(QStringLiteral("&appVer=")));
    QVERIFY(!vendorAndVersionParam().contains(QLatin1Char(' ')));
    QCOMPARE(legacyEscape(QStringLiteral("a b&c=d")), QStringLiteral("a%20b&c=d"));
}

void TestQueryRequest::osMinorVersion() {
    QCOMPARE(osMinorVersionFrom(QStringLiteral("Version 10.11.6 (Build 15G31)")), 11);
    QCOMPARE(osMinorVersionFrom(QStringLiteral("Debian 12.4.0")), 4);
    QCOMPARE(osMinorVersionFrom(QStringLiteral("Linux")), 0);
    QCOMPARE(osMinorVersionFrom(QStringLiteral("Linux 6")), 0);
}

void TestQueryRequest::requestLinesPerEndpoint() {
    svc_.clearRequests();
    svc_.on(QStringLiteral("GET"), QStringLiteral("/suggest/minisuggest"), ScriptedResponse{200, "<suggest/>"});
    svc_.on(QStringLiteral("GET"), QStringLiteral("/fsearch"), ScriptedResponse{200, "<mirvodict/>"});
    svc_.on(QStringLiteral("GET"), QStringLiteral("/jsonapi"), ScriptedResponse{200, "{}"});
    const QString word = QStringLiteral("rock & roll/中'");
    const QString q = RequestData::escapeURL(word);
    const QString base = svc_.baseUrl();

    RequestData suggest, fsearch, main;
    Answers a;
    suggest.requestDataWithURL(base + "/suggest/minisuggest?q=" + q + "&" + common("mac.main") + "&le=eng",
                               {}, {}, nullptr, a.sink());
    fsearch.requestDataWithURL(base + "/fsearch?q=" + q + "&" + common("mac.main") + "&le=jap",
                               {}, {}, nullptr, a.sink());
    main.requestDataWithURL(base + "/jsonapi?q=" + q + "&doctype=json&" + common("mac.main") +
                                "&jsonversion=2",
                            {}, {}, nullptr, a.sink());
    QVERIFY(a.waitFor(3));

    const QStringList keys6 = {"q", "keyfrom", "id", "vendor", "appVer", "client", "le"};
    for (const QString& path : {QStringLiteral("/suggest/minisuggest"), QStringLiteral("/fsearch")}) {
        const auto reqs = svc_.requestsTo(path);
        QCOMPARE(reqs.size(), size_t(1));
        const RecordedRequest& r = reqs.front();
        QCOMPARE(r.method, QStringLiteral("GET"));
        QStringList keys;
        for (const auto& kv : r.query) keys << kv.first;
        QCOMPARE(keys, keys6);  // vendor carries appVer as a pair of its own
        QCOMPARE(r.queryValue("q"), word);
        QVERIFY(r.rawQuery.startsWith("q=" + q.toLatin1() + "&keyfrom=mac.main&id="));
        QCOMPARE(r.queryValue("client"), QStringLiteral("vorlane"));
    }
    const RecordedRequest j = svc_.requestsTo(QStringLiteral("/jsonapi")).front();
    QStringList keys;
    for (const auto& kv : j.query) keys << kv.first;
    QCOMPARE(keys, QStringList({"q", "doctype", "keyfrom", "id", "vendor", "appVer", "client",
                                "jsonversion"}));
    QCOMPARE(j.queryValue("id"), machineId());
    // Nothing re-encodes what escapeURL produced.
    QVERIFY(j.rawQuery.contains("q=rock%20%26%20roll%2F%E4%B8%AD%27&"));
}

void TestQueryRequest::postBodyAndHeaders() {
    svc_.clearRequests();
    svc_.on(QStringLiteral("POST"), QStringLiteral("/jsonapi"), ScriptedResponse{200, "{\"ok\":1}"});
    RequestData rd;
    Answers a;
    const QString url = svc_.baseUrl() + "/jsonapi?q=x&doctype=json";
    rd.requestDataWithURL(url, {"q", "le"}, {"a&b", "eng"}, nullptr, a.sink());
    QVERIFY(a.waitFor(1));
    QCOMPARE(a.got.at(0).toByteArray(), QByteArray("{\"ok\":1}"));
    const RecordedRequest r = svc_.requestsTo(QStringLiteral("/jsonapi")).front();
    QCOMPARE(r.method, QStringLiteral("POST"));
    QCOMPARE(r.body, QByteArray("q=a%26b&le=eng"));
    QCOMPARE(r.header("Content-Length"), QByteArray("14"));
    QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(r.header("Accept"), QByteArray("application/json"));
    QCOMPARE(r.rawQuery, QByteArray("q=x&doctype=json"));  // the address keeps its query
    // An 800-character word travels in the body intact.
    const QString longWord(800, QLatin1Char('w'));
    QCOMPARE(RequestData::formBody({"q"}, {longWord}), QByteArray("q=") + longWord.toLatin1());
}

void TestQueryRequest::httpErrorStatusIsStillABody() {
    svc_.on(QStringLiteral("GET"), QStringLiteral("/err"), ScriptedResponse{503, "busy"});
    RequestData rd;
    Answers a;
    rd.requestDataWithURL(svc_.baseUrl() + "/err", {}, {}, nullptr, a.sink());
    QVERIFY(a.waitFor(1));
    QCOMPARE(a.got.at(0).typeId(), int(QMetaType::QByteArray));
    QCOMPARE(a.got.at(0).toByteArray(), QByteArray("busy"));
    rd.requestDataWithURL(svc_.baseUrl() + "/unscripted", {}, {}, nullptr, {});
    QVERIFY(a.waitFor(2));
    QVERIFY(!a.got.at(1).isNull());  // 404 page, a body
}

void TestQueryRequest::emptyBodyIsNotNil() {
    svc_.on(QStringLiteral("GET"), QStringLiteral("/empty"), ScriptedResponse{200, QByteArray()});
    RequestData rd;
    Answers a;
    rd.requestDataWithURL(svc_.baseUrl() + "/empty", {}, {}, nullptr, a.sink());
    QVERIFY(a.waitFor(1));
    QVERIFY(!a.got.at(0).isNull());
    QCOMPARE(a.got.at(0).typeId(), int(QMetaType::QByteArray));
    QVERIFY(a.got.at(0).toByteArray().isEmpty());
}

void TestQueryRequest::transportFailureAndTimeout() {
    // A port nobody listens on: refused connection.
    QString deadUrl;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        deadUrl = QStringLiteral("http://127.0.0.1:%1/x").arg(probe.serverPort());
    }
    RequestData rd;
    Answers a;
    rd.requestDataWithURL(deadUrl, {}, {}, nullptr, a.sink());
    QVERIFY(a.waitFor(1));
    QVERIFY(a.got.at(0).isNull());

    // Headers promise more than arrives before the connection closes: a
    // truncated body is a failure, not an answer.
    QTcpServer cutter;
    QVERIFY(cutter.listen(QHostAddress::LocalHost));
    connect(&cutter, &QTcpServer::newConnection, &cutter, [&cutter] {
        QTcpSocket* s = cutter.nextPendingConnection();
        connect(s, &QTcpSocket::readyRead, s, [s] {
            s->readAll();
            s->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nContent-Type: text/plain\r\n\r\nabc");
            s->flush();
            s->disconnectFromHost();
        });
    });
    rd.requestDataWithURL(QStringLiteral("http://127.0.0.1:%1/cut").arg(cutter.serverPort()), {}, {},
                          nullptr, {});
    QVERIFY(a.waitFor(2));
    QVERIFY(a.got.at(1).isNull());

    svc_.on(QStringLiteral("GET"), QStringLiteral("/slow"),
            ScriptedResponse{200, "late", "text/plain", {}, 1500});
    QCOMPARE(rd.timeoutMs(), 60000);
    rd.setTimeoutMs(200);
    rd.requestDataWithURL(svc_.baseUrl() + "/slow", {}, {}, nullptr, {});
    QVERIFY(a.waitFor(3));
    QVERIFY(a.got.at(2).isNull());
    QVERIFY(!rd.isLoading());
}

void TestQueryRequest::newRequestSupersedesOld() {
    svc_.on(QStringLiteral("GET"), QStringLiteral("/first"),
            ScriptedResponse{200, "first", "text/plain", {}, 300});
    svc_.on(QStringLiteral("GET"), QStringLiteral("/second"), ScriptedResponse{200, "second"});
    RequestData rd;
    Answers a;
    rd.requestDataWithURL(svc_.baseUrl() + "/first", {}, {}, nullptr, a.sink());
    rd.requestDataWithURL(svc_.baseUrl() + "/second", {}, {}, nullptr, a.sink());
    QVERIFY(a.waitFor(1));
    QTest::qWait(500);
    QCOMPARE(a.got.size(), 1);
    QCOMPARE(a.got.at(0).toByteArray(), QByteArray("second"));

    // cancel() and destruction are silent too.
    rd.requestDataWithURL(svc_.baseUrl() + "/first", {}, {}, nullptr, {});
    rd.cancel();
    {
        RequestData doomed;
        doomed.requestDataWithURL(svc_.baseUrl() + "/first", {}, {}, nullptr, a.sink());
    }
    QTest::qWait(500);
    QCOMPARE(a.got.size(), 1);
}

void TestQueryRequest::nullTargetKeepsPreviousAndDestroyedTargetIsNotCalled() {
    svc_.on(QStringLiteral("GET"), QStringLiteral("/t"), ScriptedResponse{200, "t"});
    RequestData rd;
    QObject owner;
    Answers a;
    rd.requestDataWithURL(svc_.baseUrl() + "/t", {}, {}, &owner, a.sink());
    QVERIFY(a.waitFor(1));
    rd.requestDataWithURL(svc_.baseUrl() + "/t", {}, {}, nullptr, {});
    QVERIFY(a.waitFor(2));

    auto* gone = new QObject;
    Answers b;
    rd.requestDataWithURL(svc_.baseUrl() + "/t", {}, {}, gone, b.sink());
    delete gone;
    QTest::qWait(300);
    QCOMPARE(b.got.size(), 0);
}

void TestQueryRequest::unusableAddressCallsBackAtOnce() {
    RequestData rd;
    Answers a;
    QTest::ignoreMessage(QtWarningMsg, "url is nil, strUrl=not a url");
    rd.requestDataWithURL(QStringLiteral("not a url"), {}, {}, nullptr, a.sink());
    QCOMPARE(a.got.size(), 1);  // inside the call
    QVERIFY(a.got.at(0).isNull());
}

void TestQueryRequest::offlineEntryPoint() {
    RequestData rd;
    Answers a;
    RequestData::setOfflineLookup({});
    rd.requestData(QStringLiteral("w"), QStringLiteral("mvdict.idx"), 1, 0, nullptr, a.sink());
    QCOMPARE(a.got.size(), 0);  // no offline dictionary: no answer

    QString seen;
    RequestData::setOfflineLookup([&seen](const QString& w, const QString& idx, int type, int dt) {
        seen = QStringLiteral("%1|%2|%3|%4").arg(w, idx).arg(type).arg(dt);
        if (type != 1) return QVariant();
        auto r = std::make_shared<MainQueryResult>();
        r->title = w;
        return QVariant::fromValue(r);
    });
    rd.requestData(QStringLiteral("w"), QStringLiteral("mvdict.idx"), 1, 2, nullptr, {});
    QCOMPARE(seen, QStringLiteral("w|mvdict.idx|1|2"));
    QCOMPARE(a.got.size(), 1);
    QCOMPARE(a.got.at(0).value<MainQueryResultPtr>()->title, QStringLiteral("w"));
    rd.requestData(QStringLiteral("w"), QStringLiteral("mvdict.idx"), 2, 0, nullptr, {});
    QCOMPARE(a.got.size(), 1);

    // An offline search on an object with an online request in flight (a
    // timer left from typing offline) answers its own caller and leaves the
    // online request running, with its own callback.
    svc_.on(QStringLiteral("GET"), QStringLiteral("/late"), ScriptedResponse(200, "online", "text/plain", {}, 200));
    Answers online, offline;
    rd.requestDataWithURL(svc_.baseUrl() + QStringLiteral("/late"), {}, {}, nullptr, online.sink());
    rd.requestData(QStringLiteral("w"), QStringLiteral("mvdict.idx"), 1, 0, nullptr, offline.sink());
    QCOMPARE(offline.got.size(), 1);
    QVERIFY(rd.isLoading());
    QVERIFY(online.waitFor(1));
    QCOMPARE(online.got.at(0).toByteArray(), QByteArray("online"));
    QCOMPARE(offline.got.size(), 1);
    RequestData::setOfflineLookup({});
}

QTEST_GUILESS_MAIN(TestQueryRequest)
#include "tst_query_request.moc"
