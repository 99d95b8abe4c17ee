#include <QDir>
#include <QDirIterator>
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
    void crashIsCountedAtTheNextFocusedStart();
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

// The run's folder holds the internal key (its line is hex), written or compacted.
bool runRecorded(const QString& runFolder, const QByteArray& key)
{
    for (const char* name : {"internal_incremental_kv.crkrecord", "internal_compacted_kv.crkrecord"}) {
        QFile f(runFolder + QLatin1Char('/') + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(key.toHex()))
            return true;
    }
    return false;
}

// Everything the analytics store holds on disk.
QByteArray analyticsStore(const QString& cacheHome)
{
    QByteArray all;
    QDirIterator it(cacheHome + QStringLiteral("/com.crashkit.data/com.mirvok.dict/analytics"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            all += f.readAll();
    }
    return all;
}

QString xdotool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

const QByteArray kAnalyticsSettings =
    R"({"app":{"status":"activated"},"features":{"collect_analytics":true},"analytics":{"track_custom_events":true}})";
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
    // The launch has ended: the user's identity is in the run's records.
    QVERIFY(QTest::qWaitFor([&] { return runRecorded(v3 + "/active/" + runId, "com.crashkit.user-id"); }, 30000));
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
    QTest::newRow("fault on the main thread before the window") << "at-mark";
}

// Catches: deaths that left nothing: a fault the kernel gives the default
// action because the thread blocks it, an overflow on a thread without an
// alternate stack, a fault before the window and the web engine (the
// handlers went in only at the launch's end), a kill no handler sees (then
// logged at the next start, and nothing sent for it).
void TestCrashE2E::otherDeathsEndInAReportOrACount()
{
    QFETCH(QString, how);
    const bool early = how == QStringLiteral("at-mark");
    TestEnv env;
    FakeKitService kit;
    kit.setSettingsAnswers({FakeKitService::settingsJson(kAnalyticsSettings)});
    FakeHttpService reports;
    reports.on(QStringLiteral("POST"), kPath, ScriptedResponse(200, "{}", "application/json"));
    qputenv("CrashKitReportsEndpoint", reports.baseUrl().toUtf8());
    const QString v3 = env.cacheHome() + QStringLiteral("/com.crashkit.data/com.mirvok.dict/v3");
    const QString fifo = env.root() + QStringLiteral("/die");
    QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);

    QProcess first;
    // The last step before the main window is made.
    startApp(first, {QStringLiteral("LD_PRELOAD=" DIE_PRELOAD), "MIRVOK_TEST_DIE=" + how, "MIRVOK_TEST_DIE_FIFO=" + fifo,
                     QStringLiteral("MIRVOK_TEST_DIE_AT=kits registered"),
                     QStringLiteral("QT_LOGGING_RULES=mirvok.timing.debug=true")});
    QVERIFY(first.waitForStarted());
    if (!early) {
        QVERIFY(QTest::qWaitFor([&] { return !kit.settingsRequests().empty() && !QFile::exists(v3 + "/launchmarker"); },
                                30000));
        QCOMPARE(QDir(v3 + "/active").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }
    if (how == QStringLiteral("sigkill")) {
        ::kill(pid_t(first.processId()), SIGKILL);
    } else if (!early) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && ::write(fd, "x", 1) == 1);
        ::close(fd);
    }
    QVERIFY(first.waitForFinished(20000));
    QCOMPARE(first.exitStatus(), QProcess::CrashExit);
    const QStringList active = QDir(v3 + "/active").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(active.size(), 1);
    const QString runId = active.first();
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
        // A line of the log, not an event of its own.
        QVERIFY(!analyticsStore(env.cacheHome()).contains("unclean"));
    } else {
        QCOMPARE(QString::fromUtf8(reports.requestsTo(kPath).front().parts[1].bytes), runId);
        QVERIFY(!output.contains(unclean));
    }
}

// Catches: a kit that starts after the window took the focus never hears
// that the application became active, so the crash of the run before waits
// on disk for a timed upload minutes later.
void TestCrashE2E::crashIsCountedAtTheNextFocusedStart()
{
    TestEnv env;
    FakeKitService kit;
    kit.http().on(QStringLiteral("POST"), QStringLiteral("/upload"), ScriptedResponse(200));
    kit.setSettingsAnswers({FakeKitService::settingsJson(
        R"({"app":{"status":"activated"},"features":{"collect_analytics":true},"analytics":{"url":")"
        + kit.baseUrl().toLatin1() + R"(/upload"}})")});
    FakeHttpService reports;
    reports.on(QStringLiteral("POST"), kPath, ScriptedResponse(200, "{}", "application/json"));
    qputenv("CrashKitReportsEndpoint", reports.baseUrl().toUtf8());
    auto unset = qScopeGuard([] { qunsetenv("CrashKitReportsEndpoint"); });
    const QString v3 = env.cacheHome() + QStringLiteral("/com.crashkit.data/com.mirvok.dict/v3");

    QProcess first;
    startApp(first);
    QVERIFY(first.waitForStarted());
    size_t uploadsBefore = 0;
    const auto uploaded = [&] {
        QByteArray all;
        const auto uploads = kit.http().requestsTo(QStringLiteral("/upload"));
        for (size_t i = uploadsBefore; i < uploads.size(); ++i)
            for (const RecordedPart& part : uploads[i].parts)
                all += crashTestGunzip(part.bytes);
        return all;
    };
    // Both kits have started: the analytics kit has saved this session
    // (its first lines may have gone up already).
    QVERIFY(QTest::qWaitFor([&] {
        return !kit.settingsRequests().empty() && !QFile::exists(v3 + "/launchmarker")
               && (analyticsStore(env.cacheHome()) + uploaded()).contains("\tapp_launched\t");
    }, 30000));
    ::kill(pid_t(first.processId()), SIGSEGV);
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitStatus(), QProcess::CrashExit);
    uploadsBefore = kit.http().requestsTo(QStringLiteral("/upload")).size();

    QProcess second;
    startApp(second);
    QVERIFY(second.waitForStarted());
    auto stop = qScopeGuard([&] { stopApp(second); });
    // The focus as soon as the window is there, long before the launch has
    // ended. The window is made anew when the pages come (the web views
    // need another kind of surface), and with no window manager here the
    // new one would stay unfocused: each new one gets the focus too.
    QString focused;
    QByteArray sent;
    const bool both = QTest::qWaitFor([&] {
        const QString window =
            xdotool({"search", "--onlyvisible", "--pid", QString::number(second.processId())}).section('\n', 0, 0);
        if (!window.isEmpty() && window != focused) {
            xdotool({"windowfocus", "--sync", window});
            focused = window;
        }
        sent = uploaded();
        return sent.contains("\tapp_crashed\t") && sent.contains("\tapp_became_active\t");
    }, 30000);
    QVERIFY2(both, (sent + "\n--- on disk:\n" + analyticsStore(env.cacheHome())).right(3000).constData());
}

QTEST_GUILESS_MAIN(TestCrashE2E)
#include "tst_crash_e2e.moc"
