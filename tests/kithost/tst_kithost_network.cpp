#include <QBuffer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <mutex>

#include "kithost/CRKURLSession.h"
#include "kithost/KTHMultipartMimeStreamEncoder.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KTHNetworkOperation.h"
#include "kithost/KTHNetworkResponseHandler.h"
#include "kithost/KTHURLBuilder.h"
#include "support/FakeHttpService.h"

namespace H = KTHNetworkResponseHandler;

namespace {

// What a handler was called with, and how often.
struct Outcome {
    std::atomic<int> calls{0};
    std::mutex mutex;
    QByteArray data;
    QString file;
    bool fileExisted = false;
    QByteArray fileBytes;
    KTHHTTPResponse response;
    KTHError error;

    KTHNetworkClient::DataHandler dataHandler()
    {
        return [this](const QByteArray& d, const KTHHTTPResponse& r, const KTHError& e) {
            std::lock_guard lock(mutex);
            data = d;
            response = r;
            error = e;
            ++calls;
        };
    }
    KTHNetworkClient::DownloadHandler downloadHandler()
    {
        return [this](const QString& f, const KTHHTTPResponse& r, const KTHError& e) {
            std::lock_guard lock(mutex);
            file = f;
            QFile in(f);
            fileExisted = !f.isEmpty() && in.open(QIODevice::ReadOnly);
            fileBytes = fileExisted ? in.readAll() : QByteArray();
            response = r;
            error = e;
            ++calls;
        };
    }
    // Completed exactly once, and nothing more arrives afterwards.
    bool settledOnce()
    {
        if (!QTest::qWaitFor([&] { return calls.load() >= 1; }, 10000))
            return false;
        QTest::qWait(150);
        return calls.load() == 1;
    }
};

KTHURLRequest get(const FakeHttpService& fake, const QString& path)
{
    KTHURLRequest r;
    r.url = QUrl(fake.baseUrl() + path);
    return r;
}

// A device that takes only the first `room` bytes.
class ShortDevice : public QIODevice {
public:
    explicit ShortDevice(qint64 room) : room_(room) {}
    QByteArray written;
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        const qint64 n = qMin(len, room_ - qint64(written.size()));
        written.append(data, int(n));
        return n;
    }
private:
    qint64 room_;
};

}  // namespace

class TestKitHostNetwork : public QObject {
    Q_OBJECT
private slots:
    void statusesAreClassifiedWhateverQtCallsThem_data();
    void statusesAreClassifiedWhateverQtCallsThem();
    void errorCarriesTheResponseDetails();
    void contentTypeMustMatchTheRequest();
    void retryAfterIsBounded();
    void retryLimitThreeMeansFourAttempts();
    void transportErrorsAreNotRetried();
    void cancelAndInvalidationEndEachTaskOnce();
    void retryAfterInvalidationGetsNoTask();
    void droppedClientLetsRunningRequestsFinish();
    void downloadFileLivesOnlyDuringTheHandler();
    void uploadStreamsTheFile();
    void multipartPartsArriveInOrder();
    void multipartShortWriteFailsTheEncoding();
    void urlBuilderKeepsValuesInsideTheirParameter();
    void defaultRequestHeaders();
    void stopAllEndsEveryConnection();   // last: nothing goes out afterwards
};

void TestKitHostNetwork::statusesAreClassifiedWhateverQtCallsThem_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");   // 0 = success
    const QList<QPair<int, int>> rows = {
        {200, 0}, {201, 0}, {202, 0}, {204, 0}, {304, 0},
        {203, -4}, {205, -4}, {206, -4}, {302, -4}, {402, -4}, {405, -4}, {409, -4}, {418, -4}, {600, -4},
        {400, -5}, {401, -5}, {403, -5}, {404, -5}, {406, -5}, {410, -5}, {411, -5}, {413, -5},
        {419, -5}, {422, -5}, {431, -5},
        {408, -6}, {500, -6}, {503, -6}, {599, -6}, {420, -6}, {429, -6},
    };
    for (const auto& [status, code] : rows)
        QTest::newRow(QByteArray::number(status).constData()) << status << code;
}

void TestKitHostNetwork::statusesAreClassifiedWhateverQtCallsThem()
{
    QFETCH(int, status);
    QFETCH(int, code);
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/s"), ScriptedResponse(status, "body"));
    KTHNetworkClient client;
    Outcome out;
    client.startDataTaskWithRequest(get(fake, QStringLiteral("/s")), 0, out.dataHandler());
    QVERIFY(out.settledOnce());
    QCOMPARE(out.error.code, code);
    if (code == 0)
        QVERIFY(out.error.isNull());
    else
        QCOMPARE(out.error.domain, QStringLiteral("KTHNetworkError"));
    QCOMPARE(fake.requestCount(), 1);   // a limit of 0 never retries
    if (code == -4 || code == -5) {
        // Failures and client errors still hand over the answer.
        QCOMPARE(out.response.statusCode, status);
        QCOMPARE(out.error.userInfo.value(QStringLiteral("status_code")).toInt(), status);
    }
}

void TestKitHostNetwork::errorCarriesTheResponseDetails()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/x"),
            ScriptedResponse(404, "gone", "application/json", {{"X-Request-Id", "req-7"}}));
    KTHNetworkClient client;
    Outcome out;
    client.startDataTaskWithRequest(get(fake, QStringLiteral("/x")), 3, out.dataHandler());
    QVERIFY(out.settledOnce());
    QCOMPARE(out.error.code, -5);
    QCOMPARE(out.data, QByteArray("gone"));
    const QVariantMap& info = out.error.userInfo;
    QCOMPARE(info.value(QStringLiteral("type")).toInt(), 2);
    QCOMPARE(info.value(QStringLiteral("status_code")).toInt(), 404);
    QCOMPARE(info.value(QStringLiteral("request_id")).toString(), QStringLiteral("req-7"));
    QCOMPARE(info.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/json"));
    QCOMPARE(fake.requestCount(), 1);   // client errors are never retried
}

void TestKitHostNetwork::contentTypeMustMatchTheRequest()
{
    KTHURLRequest json;
    json.setHeader("Accept", "application/json");
    json.setHeader("Accept-Charset", "utf-8");
    auto response = [](const QByteArray& type) {
        KTHHTTPResponse r;
        r.isHTTP = true;
        r.statusCode = 200;
        if (!type.isNull())
            r.headers.append(qMakePair(QByteArray("Content-Type"), type));
        return r;
    };
    QVERIFY(H::contentTypeForResponseMatchesRequest(response("application/json; charset=UTF-8"), json));
    QVERIFY(H::contentTypeForResponseMatchesRequest(response("Application/JSON"), json));
    QVERIFY(!H::contentTypeForResponseMatchesRequest(response("application/json;charset=utf-8"), json));
    QVERIFY(!H::contentTypeForResponseMatchesRequest(response("application/json; charset=latin1"), json));
    QVERIFY(!H::contentTypeForResponseMatchesRequest(response(QByteArray()), json));
    QVERIFY(H::contentTypeForResponseMatchesRequest(response(QByteArray()), KTHURLRequest()));

    // Over the wire: a 200 of the wrong type is a failure.
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/t"), ScriptedResponse(200, "<html/>", "text/html"));
    KTHNetworkClient client;
    Outcome out;
    KTHURLRequest r = get(fake, QStringLiteral("/t"));
    r.setHeader("Accept", "application/json");
    client.startDataTaskWithRequest(r, 1, out.dataHandler());
    QVERIFY(out.settledOnce());
    QCOMPARE(out.error.code, -4);
    QCOMPARE(out.error.userInfo.value(QStringLiteral("type")).toInt(), 1);
}

void TestKitHostNetwork::retryAfterIsBounded()
{
    auto withRetryAfter = [](const QByteArray& value) {
        KTHHTTPResponse r;
        r.isHTTP = true;
        r.statusCode = 503;
        if (!value.isNull())
            r.headers.append({"Retry-After", value});
        return H::retryValueForResponse(r);
    };
    QCOMPARE(withRetryAfter(QByteArray()), 300.0);
    QCOMPARE(withRetryAfter("-5"), 300.0);
    QCOMPARE(withRetryAfter("abc"), 0.0);
    QCOMPARE(withRetryAfter("0"), 0.0);
    QCOMPARE(withRetryAfter("7"), 7.0);
    QCOMPARE(withRetryAfter("2.5s"), 2.5);
    QCOMPARE(withRetryAfter("inf"), 300.0);
    QCOMPARE(withRetryAfter("nan"), 300.0);
    QCOMPARE(withRetryAfter("1e30"), 3600.0);
    KTHHTTPResponse r;
    r.isHTTP = true;
    r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("10")));
    QCOMPARE(KTHNetworkClient::computeDelayForResponse(r, 0, 1.0), 10.0);
    QCOMPARE(KTHNetworkClient::computeDelayForResponse(r, 1, 1.0), 10.0);
    QCOMPARE(KTHNetworkClient::computeDelayForResponse(r, 3, 1.1), 33.0);
    for (int i = 0; i < 200; ++i) {
        const double j = KTHNetworkClient::generateRandomJitter();
        QVERIFY(j >= double(0.9f) && j < double(1.1f));
    }
}

void TestKitHostNetwork::retryLimitThreeMeansFourAttempts()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/r"),
            ScriptedResponse(503, "busy", "text/plain", {{"Retry-After", "0"}}));
    KTHNetworkClient client;
    Outcome out;
    client.startDataTaskWithRequest(get(fake, QStringLiteral("/r")), 3, out.dataHandler());
    QVERIFY(out.settledOnce());
    QCOMPARE(fake.requestCount(), 4);
    QCOMPARE(out.error.code, -6);
    QVERIFY(out.error.userInfo.isEmpty());
    QVERIFY(!out.response.isHTTP);
}

void TestKitHostNetwork::transportErrorsAreNotRetried()
{
    int port;
    {
        FakeHttpService gone;
        port = gone.port();
    }
    KTHNetworkClient client;
    Outcome out;
    KTHURLRequest r;
    r.url = QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(port));
    client.startDataTaskWithRequest(r, 5, out.dataHandler());
    QVERIFY(out.settledOnce());
    QCOMPARE(out.error.domain, QString::fromLatin1(kCRKURLSessionTransportErrorDomain));
}

void TestKitHostNetwork::cancelAndInvalidationEndEachTaskOnce()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/slow"), ScriptedResponse(200, "late", "text/plain", {}, 1500));
    auto session = CRKURLSession::sessionWithConfiguration(CRKURLSessionConfiguration::defaultSessionConfiguration());
    Outcome cancelled;
    auto task = session->dataTaskWithRequest(get(fake, QStringLiteral("/slow")), cancelled.dataHandler());
    task->resume();
    QVERIFY(fake.waitForRequests(1));
    QList<CRKURLSessionTaskPtr> listed;
    std::atomic<bool> got{false};
    session->getTasksWithCompletionHandler([&](auto data, auto, auto) {
        listed = data;
        got = true;
    });
    QTRY_VERIFY(got.load());
    QCOMPARE(listed.size(), 1);
    task->cancel();
    task->cancel();
    QVERIFY(cancelled.settledOnce());
    QCOMPARE(cancelled.error.code, kCRKURLSessionErrorCancelled);
    QVERIFY(session->tasks().isEmpty());

    // Invalidation ends the running tasks of a client the same way, once.
    KTHNetworkClient client;
    Outcome a, b;
    client.startDataTaskWithRequest(get(fake, QStringLiteral("/slow")), 2, a.dataHandler());
    client.startDownloadTaskWithRequest(get(fake, QStringLiteral("/slow")), 2, b.downloadHandler());
    QVERIFY(fake.waitForRequests(3));
    client.invalidateAndCancel();
    QVERIFY(a.settledOnce());
    QVERIFY(b.settledOnce());
    QCOMPARE(a.error.code, kCRKURLSessionErrorCancelled);
    QCOMPARE(b.error.code, kCRKURLSessionErrorCancelled);
    QVERIFY(!client.session()->dataTaskWithRequest(get(fake, QStringLiteral("/slow"))));
    QTest::qWait(1600);   // the late answers reach nobody
    QCOMPARE(a.calls.load(), 1);
    QCOMPARE(b.calls.load(), 1);
}

void TestKitHostNetwork::retryAfterInvalidationGetsNoTask()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/r"),
            ScriptedResponse(503, "busy", "text/plain", {{"Retry-After", "1"}}));
    KTHNetworkClient client;
    Outcome out;
    client.startDataTaskWithRequest(get(fake, QStringLiteral("/r")), 3, out.dataHandler());
    QVERIFY(fake.waitForRequests(1));
    QTest::qWait(200);   // the answer is in; the retry waits about a second
    client.invalidateAndCancel();
    QVERIFY(out.settledOnce());
    QCOMPARE(out.error.code, -3);
    QCOMPARE(fake.requestCount(), 1);
}

void TestKitHostNetwork::droppedClientLetsRunningRequestsFinish()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("GET"), QStringLiteral("/slow"), ScriptedResponse(200, "late", "text/plain", {}, 300));
    Outcome out;
    {
        KTHNetworkClient client;
        client.startDataTaskWithRequest(get(fake, QStringLiteral("/slow")), 1, out.dataHandler());
        QVERIFY(fake.waitForRequests(1));
    }
    QVERIFY(out.settledOnce());
    QVERIFY(out.error.isNull());
    QCOMPARE(out.data, QByteArray("late"));
}

void TestKitHostNetwork::downloadFileLivesOnlyDuringTheHandler()
{
    FakeHttpService fake;
    const QByteArray payload(200000, 'z');
    fake.on(QStringLiteral("GET"), QStringLiteral("/d"), ScriptedResponse(200, payload));
    KTHNetworkClient client;
    Outcome out;
    client.startDownloadTaskWithRequest(get(fake, QStringLiteral("/d")), 1, out.downloadHandler());
    QVERIFY(out.settledOnce());
    QVERIFY(out.error.isNull());
    QVERIFY(out.fileExisted);
    QCOMPARE(out.fileBytes, payload);
    QVERIFY(!QFile::exists(out.file));
}

void TestKitHostNetwork::uploadStreamsTheFile()
{
    FakeHttpService fake;
    fake.on(QStringLiteral("POST"), QStringLiteral("/u"), ScriptedResponse(201));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("package.multipartmime"));
    QByteArray content;
    for (int i = 0; i < 300000; ++i)
        content.append(char('a' + i % 26));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    auto session = CRKURLSession::sessionWithConfiguration({{{"X-Extra", "one"}}, std::nullopt});
    KTHURLRequest r = get(fake, QStringLiteral("/u"));
    r.method = "POST";
    r.setHeader("X-Extra", "zero");
    Outcome out;
    session->uploadTaskWithRequest(r, path, out.dataHandler())->resume();
    QVERIFY(out.settledOnce());
    QCOMPARE(out.response.statusCode, 201);
    const RecordedRequest got = fake.requests().at(0);
    QCOMPARE(got.body, content);
    QCOMPARE(got.header("Content-Length"), QByteArray::number(content.size()));
    QCOMPARE(got.header("X-Extra"), QByteArray("zero, one"));

    Outcome missing;
    session->uploadTaskWithRequest(r, dir.filePath(QStringLiteral("none")), missing.dataHandler())->resume();
    QVERIFY(missing.settledOnce());
    QCOMPARE(missing.error.domain, QString::fromLatin1(kCRKURLSessionUploadTaskErrorDomain));
}

void TestKitHostNetwork::multipartPartsArriveInOrder()
{
    // The layout, byte by byte, for an empty form and one text part.
    QByteArray body;
    QBuffer buffer(&body);
    KTHMultipartMimeStreamEncoder empty(&buffer, QStringLiteral("B"));
    QVERIFY(empty.encode({}));
    QCOMPARE(body, QByteArray("MIME-Version: 1.0\r\n--B--\r\n"));
    QCOMPARE(KTHMultipartMimeStreamEncoder(nullptr).footerData().size() + 19, 61);
    body.clear();
    KTHMultipartMimeStreamEncoder one(&buffer, QStringLiteral("B"));
    QVERIFY(one.encode([](KTHMultipartMimeStreamEncoder& e) {
        e.addValue(5, QStringLiteral("n"));
        e.addValue(QVariant(), QStringLiteral("skipped"));
        e.addFileData("\x01\x02", QStringLiteral("f.bin"), QString(), QStringLiteral("f"));
    }));
    QCOMPARE(body, QByteArray("MIME-Version: 1.0\r\n--B\r\nContent-Disposition: form-data; name=\"n\"\r\n"
                              "Content-Type: text/plain\r\n\r\n5\r\n"
                              "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f.bin\"\r\n"
                              "Content-Type: application/octet-stream\r\n\r\n\x01\x02\r\n--B--\r\n"));
    QCOMPARE(one.length(), quint64(body.size()));

    // Over the wire, with names that try to break out of their quotes.
    FakeHttpService fake;
    fake.on(QStringLiteral("POST"), QStringLiteral("/m"), ScriptedResponse(200));
    KTHURLRequest r = get(fake, QStringLiteral("/m"));
    r.method = "POST";
    const QByteArray png("\x89PNG\r\n\x1a\n--not-a-boundary", 24);
    QVERIFY(KTHMultipartMimeStreamEncoder::populateRequest(r, [&](KTHMultipartMimeStreamEncoder& e) {
        e.addValue(QStringLiteral("z"), QStringLiteral("app[name]"));
        e.addValue(QStringLiteral("a&b=c"), QStringLiteral("evil\"\r\nX-Injected: 1"));
        e.addFileData(png, QStringLiteral("icon\".png"), QStringLiteral("image/png"), QStringLiteral("app[icon][data]"));
        e.addValue(QStringLiteral("last"), QStringLiteral("a"));
    }));
    KTHNetworkClient client;
    Outcome out;
    client.startDataTaskWithRequest(r, 0, out.dataHandler());
    QVERIFY(out.settledOnce());
    QVERIFY2(out.error.isNull(), qPrintable(out.error.description));
    QCOMPARE(fake.requestCount(), 1);
    const RecordedRequest got = fake.requests().at(0);
    QCOMPARE(got.header("Content-Length").toInt(), int(r.body.size()));
    QCOMPARE(got.parts.size(), 4);
    QCOMPARE(got.parts[0].name, QStringLiteral("app[name]"));
    QCOMPARE(got.parts[1].name, QStringLiteral("evil%22%0D%0AX-Injected: 1"));
    QCOMPARE(got.parts[1].bytes, QByteArray("a&b=c"));
    QCOMPARE(got.parts[2].filename, QStringLiteral("icon%22.png"));
    QCOMPARE(got.parts[2].header("Content-Type"), QByteArray("image/png"));
    QCOMPARE(got.parts[2].bytes, png);
    QCOMPARE(got.parts[3].name, QStringLiteral("a"));
}

void TestKitHostNetwork::multipartShortWriteFailsTheEncoding()
{
    ShortDevice device(40);
    QVERIFY(device.open(QIODevice::WriteOnly));
    KTHMultipartMimeStreamEncoder e(&device);
    QVERIFY(!e.encode([](KTHMultipartMimeStreamEncoder& enc) { enc.addValue(QStringLiteral("v"), QStringLiteral("f")); }));
    QVERIFY(e.failed());
    QVERIFY(e.length() < quint64(device.written.size()) + 1);
}

void TestKitHostNetwork::urlBuilderKeepsValuesInsideTheirParameter()
{
    KTHURLBuilder example = KTHURLBuilder::URLWithBase(QStringLiteral("B"));
    example.escapeAndAppendComponent(QStringLiteral("/a b"));
    example.appendValue(QStringLiteral("1.0"), QStringLiteral("build_version"));
    example.appendValue(QVariant(), QStringLiteral("icon_hash"));
    QCOMPARE(example.URLString(), QStringLiteral("B/a%20b?build_version=1.0"));

    KTHURLBuilder b = KTHURLBuilder::URLWithBase(QStringLiteral("https://h"));
    b.appendComponent(QStringLiteral("/apps/"));
    b.escapeAndAppendComponent(QStringLiteral("x/../y?q#f"));
    b.appendValue(QStringLiteral("a&b=c+d#e f"), QStringLiteral("v"));
    b.appendValue(3, QStringLiteral("source"));
    QCOMPARE(b.URLString(), QStringLiteral("https://h/apps/x%2F..%2Fy%3Fq%23f?v=a%26b%3Dc%2Bd%23e%20f&source=3"));
    QCOMPARE(b.URL().query(QUrl::FullyEncoded), QStringLiteral("v=a%26b%3Dc%2Bd%23e%20f&source=3"));
}

void TestKitHostNetwork::defaultRequestHeaders()
{
    struct Op : KTHNetworkOperation {
        using KTHNetworkOperation::KTHNetworkOperation;
        void main() override {}
    } op(QStringLiteral("key-1"));
    const KTHURLRequest r = op.mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(QUrl(QStringLiteral("https://h/")));
    QCOMPARE(r.timeoutMs, 10000);
    QList<QByteArray> names;
    for (const auto& h : r.headers)
        names << h.first;
    QCOMPARE(names, (QList<QByteArray>{"User-Agent", "Accept-Charset", "Accept-Language", "Content-Language",
                                       "X-CrashKit-Developer-Token", "X-CrashKit-API-Client-Id",
                                       "X-CrashKit-API-Client-Display-Version",
                                       "X-CrashKit-API-Client-Build-Version", "X-CrashKit-API-Key"}));
    QCOMPARE(r.header("User-Agent"), QByteArray("io.kithost.sdk.mac/1.6.1 (37)"));
    QCOMPARE(r.header("X-CrashKit-API-Key"), QByteArray("key-1"));
}

// The application's end stops the network before Qt's own globals go: a
// manager left running could start a host lookup after the application
// object is gone, which crashes in the exit handlers.
void TestKitHostNetwork::stopAllEndsEveryConnection()
{
    QTcpServer silent;   // takes the request and never answers
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    auto session = CRKURLSession::sessionWithConfiguration(CRKURLSessionConfiguration::defaultSessionConfiguration());
    Outcome out;
    KTHURLRequest request;
    request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/held").arg(silent.serverPort()));
    session->dataTaskWithRequest(request, out.dataHandler())->resume();
    QVERIFY(silent.waitForNewConnection(30000));
    QTcpSocket* peer = silent.nextPendingConnection();
    QVERIFY(peer->bytesAvailable() > 0 || peer->waitForReadyRead(30000));

    CRKURLSession::stopAll();
    QVERIFY(peer->state() == QAbstractSocket::UnconnectedState || peer->waitForDisconnected(30000));
    // Whatever is asked afterwards (the exit handlers' own clean-up) stays quiet.
    auto late = session->dataTaskWithRequest(request, out.dataHandler());
    late->resume();
    late->cancel();
    session.reset();
    QVERIFY(!silent.waitForNewConnection(300));
    QCOMPARE(out.calls.load(), 0);
}

QTEST_GUILESS_MAIN(TestKitHostNetwork)
#include "tst_kithost_network.moc"
