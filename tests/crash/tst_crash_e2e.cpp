#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CrashTestUtil.h"
#include "support/FakeKitService.h"
#include "support/TestEnv.h"

// The real application crashes once its window shows; the next launch finds
// the report, names its frames and sends it to the (fake) report service.
class TestCrashE2E : public QObject {
    Q_OBJECT
private slots:
    void segvIsReportedAtNextLaunch();
    void otherDeathsEndInAReportOrACount_data();
    void otherDeathsEndInAReportOrACount();
};

namespace {
const QString kPath = QStringLiteral("/sdk-api/v1/platforms/mac/apps/com.mirvok.dict/reports");

void startApp(QProcess& app, const QStringList& extraEnv = {}, bool readOutput = false)
{
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const QString& e : extraEnv)
        pe.insert(e.section('=', 0, 0), e.section('=', 1));
    app.setProcessEnvironment(pe);
    app.setProcessChannelMode(readOutput ? QProcess::MergedChannels : QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
}

void stopApp(QProcess& app)
{
    app.terminate();
    if (!app.waitForFinished(10000))
        app.kill();
    app.waitForFinished(5000);
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

void TestCrashE2E::otherDeathsEndInAReportOrACount_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("fault on a thread blocking every signal") << "blocked-thread";
    QTest::newRow("stack overflow on a library's thread") << "overflow-thread";
    QTest::newRow("SIGKILL") << "sigkill";
}

// Catches: deaths that left nothing: a fault the kernel gives the default
// action because the thread blocks it, an overflow on a thread without an
// alternate stack, a kill no handler sees (then counted at the next start).
void TestCrashE2E::otherDeathsEndInAReportOrACount()
{
    QFETCH(QString, how);
    TestEnv env;
    FakeKitService kit;
    kit.setSettingsAnswers({FakeKitService::settingsJson(R"({"app":{"status":"activated"}})")});
    FakeHttpService reports;
    reports.on(QStringLiteral("POST"), kPath, ScriptedResponse(200, "{}", "application/json"));
    qputenv("CrashKitReportsEndpoint", reports.baseUrl().toUtf8());
    const QString v3 = env.cacheHome() + QStringLiteral("/com.crashkit.data/com.mirvok.dict/v3");
    const QString fifo = env.root() + QStringLiteral("/die");
    QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);

    QProcess first;
    startApp(first, {QStringLiteral("LD_PRELOAD=" DIE_PRELOAD), "MIRVOK_TEST_DIE=" + how, "MIRVOK_TEST_DIE_FIFO=" + fifo});
    QVERIFY(first.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return !kit.settingsRequests().empty() && !QFile::exists(v3 + "/launchmarker"); }, 30000));
    const QStringList active = QDir(v3 + "/active").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(active.size(), 1);
    const QString runId = active.first();
    if (how == QStringLiteral("sigkill")) {
        ::kill(pid_t(first.processId()), SIGKILL);
    } else {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && ::write(fd, "x", 1) == 1);
        ::close(fd);
    }
    QVERIFY(first.waitForFinished(20000));
    QCOMPARE(first.exitStatus(), QProcess::CrashExit);
    const QString record = v3 + "/active/" + runId + "/signal.crkrecord";
    QCOMPARE(QFile::exists(record), how != QStringLiteral("sigkill"));
    if (QFile::exists(record)) {
        // The dead thread with its registers and stack; every other thread
        // with them or a reason.
        QFile f(record);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QVERIFY(lines.size() > 2);
        int crashed = 0;
        for (const QJsonValue& t : QJsonDocument::fromJson(lines[1]).object().value("threads").toArray()) {
            const QJsonObject thread = t.toObject();
            const bool whole = thread["registers"].toObject().size() == 21 && !thread["stacktrace"].toArray().isEmpty();
            QVERIFY(whole || !thread["reason"].toString().isEmpty());
            if (thread["crashed"].toBool()) {
                QVERIFY(whole);
                ++crashed;
            }
        }
        QCOMPARE(crashed, 1);
    }

    QProcess second;
    startApp(second, {}, true);
    QVERIFY(second.waitForStarted());
    QByteArray output;
    const QByteArray unclean = "The run " + runId.toUtf8();
    const bool ended = QTest::qWaitFor(
        [&] {
            output += second.readAll();
            return how == QStringLiteral("sigkill") ? output.contains(unclean)
                                                    : !reports.requestsTo(kPath).empty();
        },
        30000);
    stopApp(second);
    qunsetenv("CrashKitReportsEndpoint");
    QVERIFY2(ended, output.right(3000).constData());
    if (how == QStringLiteral("sigkill")) {
        QCOMPARE(output.count(unclean), 1);
        QVERIFY(reports.requestsTo(kPath).empty());
    } else {
        QCOMPARE(QString::fromUtf8(reports.requestsTo(kPath).front().parts[1].bytes), runId);
        QVERIFY(!output.contains(unclean));
    }
}

QTEST_GUILESS_MAIN(TestCrashE2E)
#include "tst_crash_e2e.moc"
