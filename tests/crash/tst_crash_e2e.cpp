#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QtTest>
#include <csignal>

#include "CrashTestUtil.h"
#include "support/FakeKitService.h"
#include "support/TestEnv.h"

// The real application crashes once its window shows; the next launch finds
// the report, names its frames and sends it to the (fake) report service.
class TestCrashE2E : public QObject {
    Q_OBJECT
private slots:
    void segvIsReportedAtNextLaunch();
};

namespace {
const QString kPath = QStringLiteral("/sdk-api/v1/platforms/mac/apps/com.mirvok.dict/reports");

void startApp(QProcess& app)
{
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app.setProcessEnvironment(pe);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
}
}  // namespace

void TestCrashE2E::segvIsReportedAtNextLaunch()
{
    TestEnv env;
    FakeKitService kit;
    kit.setSettingsAnswers({FakeKitService::settingsJson(R"({"app":{"status":"activated"}})")});
    FakeHttpService reports;
    // Answered late, so the package can be seen in "prepared" while in flight.
    reports.on(QStringLiteral("POST"), kPath, ScriptedResponse(200, "{}", "application/json", {}, 1500));
    qputenv("CrashKitReportsEndpoint", reports.baseUrl().toUtf8());

    const QString v3 = env.cacheHome() + QStringLiteral("/com.crashkit.data/com.mirvok.dict/v3");
    QProcess first;
    startApp(first);
    QVERIFY(first.waitForStarted());
    // The launch marker goes at the first event-loop turn; the window is up
    // by then (the settings request comes after it).
    QVERIFY(QTest::qWaitFor([&] { return !kit.settingsRequests().empty() && !QFile::exists(v3 + "/launchmarker"); }, 30000));
    const QStringList active = QDir(v3 + "/active").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(active.size(), 1);
    const QString runId = active.first();
    QTest::qWait(500);
    ::kill(pid_t(first.processId()), SIGSEGV);
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::exists(v3 + "/active/" + runId + "/signal.crkrecord"));

    QProcess second;
    QElapsedTimer sinceStart;
    sinceStart.start();
    qint64 arrivedMs = -1;
    startApp(second);
    QVERIFY(second.waitForStarted());
    QSet<QString> packagesSeen;
    const bool sent = QTest::qWaitFor(
        [&] {
            for (const QString& name : QDir(v3 + "/prepared").entryList(QDir::Files))
                packagesSeen << name;
            if (arrivedMs < 0 && !reports.requestsTo(kPath).empty())
                arrivedMs = sinceStart.elapsed();
            return !reports.requestsTo(kPath).empty() && QDir(v3 + "/prepared").isEmpty();
        },
        30000);
    QTest::qWait(1000);   // nothing else follows
    second.terminate();
    if (!second.waitForFinished(10000))
        second.kill();
    qunsetenv("CrashKitReportsEndpoint");
    QVERIFY(sent);
    qInfo("second start until the report arrived: %lld ms", arrivedMs);

    const auto posts = reports.requestsTo(kPath);
    QCOMPARE(int(posts.size()), 1);
    const RecordedRequest& post = posts.front();
    QCOMPARE(post.method, QStringLiteral("POST"));
    QCOMPARE(post.header("User-Agent"), QByteArray("CrashKit Mac SDK/3.4.1"));
    QCOMPARE(post.header("Accept"), QByteArray("application/json"));
    QCOMPARE(post.header("Accept-Charset"), QByteArray("utf-8"));
    QVERIFY(!post.header("Accept-Language").isEmpty());
    QCOMPARE(post.header("X-CrashKit-Developer-Token"), QByteArray("5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702"));
    QCOMPARE(post.header("X-CrashKit-API-Client-Id"), QByteArray("com.kitvendor.crashkit.mac"));
    QCOMPARE(post.header("X-CrashKit-API-Client-Display-Version"), QByteArray("3.4.1"));
    QCOMPARE(post.header("X-CrashKit-API-Client-Build-Version"), QByteArray("92"));
    QCOMPARE(post.header("X-CrashKit-API-Key"), QByteArray("7f3c2a9e41b05d86c1e4a7b2903f5d6e8a1c4b70"));
    QCOMPARE(packagesSeen.size(), 1);
    const QString package = *packagesSeen.begin();
    QVERIFY(package.endsWith(QStringLiteral(".multipartmime")));
    QCOMPARE(post.header("Content-Type"),
             "multipart/form-data; boundary=" + package.chopped(int(strlen(".multipartmime"))).toUtf8());

    QVERIFY(post.parts.size() > 4);
    QCOMPARE(post.parts[0].name, QStringLiteral("api_key"));
    QCOMPARE(post.parts[0].bytes, QByteArray("7f3c2a9e41b05d86c1e4a7b2903f5d6e8a1c4b70"));
    QCOMPARE(post.parts[1].name, QStringLiteral("report_id"));
    QCOMPARE(QString::fromUtf8(post.parts[1].bytes), runId);
    QByteArray symbolicated;
    QStringList names;
    for (qsizetype i = 2; i < post.parts.size(); ++i) {
        const RecordedPart& part = post.parts[i];
        QVERIFY2(part.filename.endsWith(QStringLiteral(".gz")), qPrintable(part.filename));
        QCOMPARE(part.header("Content-Type"), QByteArray("application/x-gzip"));
        const QByteArray plain = crashTestGunzip(part.bytes);
        QVERIFY2(!plain.isNull(), qPrintable(part.filename));
        names << part.name;
        if (part.name == QStringLiteral("internal_incremental_kv")) {
            // The user's identity was recorded at start-up.
            const QByteArray key = "com.crashkit.user-id";
            QVERIFY2(plain.contains(key) || plain.contains(key.toHex()), plain.constData());
        }
        if (part.filename == QStringLiteral("signal.crkrecord.symbolicated.gz")) {
            QCOMPARE(part.name, QStringLiteral("signal.crkrecord"));
            symbolicated = plain;
        }
    }
    QVERIFY2(names.contains(QStringLiteral("metadata")) && names.contains(QStringLiteral("signal"))
                 && names.contains(QStringLiteral("binary_images"))
                 && names.contains(QStringLiteral("internal_incremental_kv")),
             qPrintable(names.join(',')));

    // Some thread's stack passes through main() of the executable: the
    // main thread, parked in the event loop when the signal came.
    const QJsonArray threads = QJsonDocument::fromJson(symbolicated).object().value("threads").toArray();
    QVERIFY(!threads.isEmpty());
    bool foundMain = false;
    for (const QJsonValue& t : threads)
        for (const QJsonValue& f : t.toArray())
            if (f.toObject().value("symbol").toString() == QStringLiteral("main")
                && f.toObject().value("library").toString() == QStringLiteral("mirvok"))
                foundMain = true;
    QVERIFY2(foundMain, symbolicated.left(2000).constData());
    QVERIFY(QDir(v3 + "/prepared").isEmpty());
    QVERIFY(!QDir(v3 + "/active/" + runId).exists());
}

QTEST_GUILESS_MAIN(TestCrashE2E)
#include "tst_crash_e2e.moc"
