#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>
#include <zlib.h>

#include "kithost/KitHost.h"
#include "platform/CRKUserDefaults.h"
#include "support/FakeKitService.h"
#include "support/TestEnv.h"
#include "tally/CRKAnalyticsController.h"
#include "tally/CRKAnalyticsEvent.h"
#include "tally/CRKAnalyticsNetworkingClient.h"
#include "tally/CRKEventLogEvent.h"
#include "tally/CRKEventLogSessionRepository.h"
#include "tally/CRKTallyEvent.h"
#include "tally/Tally.h"
#include "kithost/KTHKit.h"

// The analytics engine against a real store on disk and a fake upload
// endpoint: settings, triggers, the maintenance chain and its errors.
class TestTallyController : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void eventsBeforeSettingsThenSwitchedOff();
    void uploadCarriesHeadersAndWholeLines();
    void rejectedUploadsKeepTheFragment_data();
    void rejectedUploadsKeepTheFragment();
    void unreadablePartFailsTheUpload();
    void transmissionErrors();
    void pruningWithBudgetZero();
    void crashEventGoesToThePreviousSession();
    void oneChainAtATime();
    void slowQueueKeepsItsFragmentOpen();
    void failedPackagingLeavesTheActiveFragment();
    void sizeAndPriorityTriggers();
    void flushIntervalTimer();
    void withoutSettingsTheStoreStaysBounded();
    void kitHostStartsTheKitOnce();   // last: the kit keeps its controller

private:
    std::unique_ptr<CRKAnalyticsController> make(CRKAnalyticsController::Options options = {});
    QString root() const { return env_->cacheHome() + "/com.crashkit.data/com.mirvok.dict/analytics"; }
    QStringList filesUnder(const QString& state) const;
    static bool runChain(CRKAnalyticsController& c);
    static QVariantMap settings(const QString& url, const QVariantMap& extra = {});

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> http_;
};

namespace {

QByteArray gunzip(const QByteArray& in)
{
    z_stream s {};
    inflateInit2(&s, 31);
    QByteArray out, buf(1 << 16, 0);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    s.avail_in = uInt(in.size());
    int r = Z_OK;
    while (r == Z_OK) {
        s.next_out = reinterpret_cast<Bytef*>(buf.data());
        s.avail_out = uInt(buf.size());
        r = inflate(&s, Z_NO_FLUSH);
        out.append(buf.constData(), buf.size() - int(s.avail_out));
    }
    inflateEnd(&s);
    return r == Z_STREAM_END ? out : QByteArray();
}

QList<CRKEventLogRecord> parseLines(const QByteArray& bytes)
{
    QList<CRKEventLogRecord> records;
    qint64 at = 0;
    CRKEventLogRecord r;
    while (at < bytes.size() && (at = CRKEventLogReader::readRecord(bytes, at, &r)) > 0)
        records << r;
    if (at < 0)
        records << CRKEventLogRecord{-1, "unparsable", std::nullopt};
    return records;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> keysOf(const QList<CRKEventLogRecord>& records)
{
    QList<QByteArray> keys;
    for (const auto& r : records)
        keys << r.key;
    return keys;
}

}  // namespace

void TestTallyController::init()
{
    env_ = std::make_unique<TestEnv>();
    http_ = std::make_unique<FakeHttpService>();
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(QVariantMap{
        {"KitHost", QVariantMap{{"APIKey", "api-key-1"}, {"Kits", QVariantList{}}}}});
}

void TestTallyController::cleanup()
{
    http_.reset();
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(std::nullopt);
    env_.reset();
}

std::unique_ptr<CRKAnalyticsController> TestTallyController::make(CRKAnalyticsController::Options options)
{
    if (options.noSettingsMaintenanceDelay == std::chrono::milliseconds(60000))
        options.noSettingsMaintenanceDelay = std::chrono::hours(1);
    return CRKAnalyticsController::create(KitHost::sharedSDK().executionIdentifier(), root(), QString(), options);
}

QStringList TestTallyController::filesUnder(const QString& state) const
{
    QStringList out;
    QDirIterator it(root() + "/v1/" + state, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    out.sort();
    return out;
}

bool TestTallyController::runChain(CRKAnalyticsController& c)
{
    std::atomic<bool> done{false};
    c.maintainSessionFragments([&](const KTHError&) { done = true; });
    return QTest::qWaitFor([&] { return done.load(); }, 15000);
}

QVariantMap TestTallyController::settings(const QString& url, const QVariantMap& extra)
{
    QVariantMap analytics{{"track_custom_events", true}, {"track_predefined_events", true},
                          {"max_pending_send_file_count", 100}};
    if (!url.isEmpty())
        analytics.insert("url", url);
    for (auto it = extra.begin(); it != extra.end(); ++it)
        analytics.insert(it.key(), it.value());
    return {{"features", QVariantMap{{"collect_analytics", true}}}, {"analytics", analytics}};
}

void TestTallyController::eventsBeforeSettingsThenSwitchedOff()
{
    auto c = make();
    QVERIFY(c);
    c->logAppLaunched();
    c->logCustomEvent(*CRKTallyCustomEvent::create("opened", {{"word", "hello"}}));
    c->drainQueuesForTesting();

    const QString fragment = c->currentSessionFragmentDirectory();
    QVERIFY(fragment.startsWith(root() + "/v1/ACTIVE/" + QString::number(c->sessionTimestamp()) + "_"
                                + KitHost::sharedSDK().executionIdentifier() + "/"));
    const auto medium = parseLines(readFile(fragment + "/1.log"));
    QCOMPARE(keysOf(medium), QList<QByteArray>({"metadata", "app_launched"}));
    const QJsonObject meta = QJsonDocument::fromJson(*medium[0].payload).object();
    QCOMPARE(meta.value("api_key").toString(), QStringLiteral("api-key-1"));
    QCOMPARE(meta.value("session_id").toString(), KitHost::sharedSDK().executionIdentifier());
    QCOMPARE(meta.value("install_id").toString(), KitHost::sharedSDK().installID());
    QCOMPARE(meta.value("bundle_id").toString(), QStringLiteral("com.mirvok.dict"));
    QCOMPARE(meta.value("generator").toString(), QStringLiteral("Tally Mac SDK/1.0.1"));
    QVERIFY(meta.value("cores").toInt() > 0);
    QVERIFY(!meta.contains("beta_tester_token"));
    QCOMPARE(keysOf(parseLines(readFile(fragment + "/2.log"))), QList<QByteArray>({"metadata", "custom"}));

    c->setSettings(QVariantMap{{"features", QVariantMap{{"collect_analytics", false}}}});
    c->drainQueuesForTesting();
    QVERIFY(!QFileInfo::exists(root()));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("Tally Event tracking is disabled for this application"));
    c->logCustomEvent(*CRKTallyCustomEvent::create("after"));
    c->logAppLaunched();
    c->drainQueuesForTesting();
    QVERIFY(!QFileInfo::exists(root()));

    // Switched on again within the run: events are written again.
    c->setSettings(settings(QString()));
    c->drainQueuesForTesting();
    c->logAppLaunched();
    QCOMPARE(keysOf(parseLines(readFile(c->currentSessionFragmentDirectory() + "/1.log"))),
             QList<QByteArray>({"metadata", "app_launched"}));
}

void TestTallyController::uploadCarriesHeadersAndWholeLines()
{
    http_->on("POST", "/upload", ScriptedResponse(200));
    auto c = make();
    c->setSettings(settings(http_->baseUrl() + "/upload"));
    c->logAppLaunched();
    c->logCustomEvent(*CRKTallyCustomEvent::create("looked_up", {{"n", 3}}));
    c->drainQueuesForTesting();
    QVERIFY(runChain(*c));

    const auto posts = http_->requestsTo("/upload");
    QCOMPARE(int(posts.size()), 1);
    const RecordedRequest& r = posts[0];
    QCOMPARE(r.header("User-Agent"), QByteArray("Tally Mac SDK/1.0.1"));
    QCOMPARE(r.header("X-CRASHKIT-DEVELOPER-TOKEN"), QByteArray("5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702"));
    QCOMPARE(r.header("X-CRASHKIT-API-CLIENT-TYPE"), QByteArray("Tally Mac SDK"));
    QCOMPARE(r.header("X-CRASHKIT-API-CLIENT-VERSION"), QByteArray("4"));
    QCOMPARE(r.header("X-CRASHKIT-API-CLIENT-DISPLAY-VERSION"), QByteArray("1.0.1"));
    QCOMPARE(r.header("X-CRASHKIT-API-CLIENT-BUILD-VERSION"), QByteArray("4"));
    QCOMPARE(r.header("X-CRASHKIT-API-KEY"), QByteArray("api-key-1"));
    QCOMPARE(r.parts.size(), 2);
    QCOMPARE(r.parts[0].name, QStringLiteral("1.log.zip"));
    QCOMPARE(r.parts[0].filename, QStringLiteral("1.log.zip"));
    QCOMPARE(r.parts[0].header("Content-Type"), QByteArray("application/vnd.crashkit.ios.events"));
    QCOMPARE(r.parts[1].name, QStringLiteral("2.log.zip"));
    QCOMPARE(keysOf(parseLines(gunzip(r.parts[0].bytes))), QList<QByteArray>({"metadata", "app_launched"}));
    const auto low = parseLines(gunzip(r.parts[1].bytes));
    QCOMPARE(keysOf(low), QList<QByteArray>({"metadata", "custom"}));
    QCOMPARE(QJsonDocument::fromJson(*low[1].payload).object().value("custom_type").toString(),
             QStringLiteral("looked_up"));
    // Accepted: nothing waits any more; only the new open fragment is left.
    QVERIFY(filesUnder("PACKAGED").isEmpty());
    QVERIFY(filesUnder("ACTIVE").isEmpty());
    QVERIFY(QFileInfo(c->currentSessionFragmentDirectory()).isDir());

    // The header order, as the request leaves the client.
    const auto request = CRKAnalyticsNetworkingClient::requestForLogFiles({}, QUrl("http://x/"), "k");
    QStringList names;
    for (const auto& h : request->headers)
        names << QString::fromLatin1(h.first);
    QCOMPARE(names.mid(0, 7), QStringList({"User-Agent", "X-CRASHKIT-DEVELOPER-TOKEN", "X-CRASHKIT-API-CLIENT-TYPE",
                                           "X-CRASHKIT-API-CLIENT-VERSION", "X-CRASHKIT-API-CLIENT-DISPLAY-VERSION",
                                           "X-CRASHKIT-API-CLIENT-BUILD-VERSION", "X-CRASHKIT-API-KEY"}));
    QCOMPARE(request->timeoutMs, 20000);
}

void TestTallyController::rejectedUploadsKeepTheFragment_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("500 after its retries") << 500;
    QTest::newRow("404") << 404;
    QTest::newRow("400") << 400;
}

void TestTallyController::rejectedUploadsKeepTheFragment()
{
    QFETCH(int, status);
    http_->on("POST", "/upload", ScriptedResponse(status, {}, "text/plain", {{"Retry-After", "0"}}));
    auto c = make();
    c->setSettings(settings(http_->baseUrl() + "/upload"));
    c->logAppLaunched();
    c->drainQueuesForTesting();
    QVERIFY(runChain(*c));
    QCOMPARE(int(http_->requestsTo("/upload").size()), status == 500 ? 1 + 10 : 1);
    QCOMPARE(filesUnder("PACKAGED").size(), 1);
}

void TestTallyController::unreadablePartFailsTheUpload()
{
    http_->on("POST", "/upload", ScriptedResponse(200));
    auto c = make();
    c->setSettings(settings(QString()));
    c->logAppLaunched();
    c->logCustomEvent(*CRKTallyCustomEvent::create("x"));
    c->drainQueuesForTesting();
    QVERIFY(runChain(*c));   // packaged, nowhere to send
    const QStringList packaged = filesUnder("PACKAGED");
    QCOMPARE(packaged.size(), 2);
    // A part that cannot be read (a folder by a part's name: even root
    // cannot read it as a file).
    const QString unreadable = QFileInfo(packaged[0]).path() + "/0.log.zip";
    QVERIFY(QDir().mkpath(unreadable + "/inner"));
    c->setSettings(settings(http_->baseUrl() + "/upload"));
    std::atomic<bool> done{false};
    c->transmitPackagedSessionFragments([&](const KTHError&) { done = true; });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 5000));
    QVERIFY(http_->requestsTo("/upload").empty());
    QCOMPARE(filesUnder("PACKAGED"), packaged);
    QVERIFY(QFileInfo(unreadable).isDir());
}

void TestTallyController::transmissionErrors()
{
    http_->on("POST", "/slow", ScriptedResponse(200, {}, "text/plain", {}, 1500));
    auto c = make();
    c->setSettings(settings(QString()));
    std::atomic<int> code{0};
    c->transmitPackagedSessionFragments([&](const KTHError& e) { code = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return code != 0; }, 5000));
    QCOMPARE(code.load(), -2);

    c->logAppLaunched();
    c->drainQueuesForTesting();
    c->setSettings(settings(QString()));
    QVERIFY(runChain(*c));
    c->setSettings(settings(http_->baseUrl() + "/slow"));
    std::atomic<int> first{1}, second{1};
    c->transmitPackagedSessionFragments([&](const KTHError& e) { first = e.code; });
    c->transmitPackagedSessionFragments([&](const KTHError& e) { second = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return first != 1 && second != 1; }, 10000));
    QCOMPARE(second.load(), -1);
    QCOMPARE(first.load(), 0);
    QVERIFY(filesUnder("PACKAGED").isEmpty());
}

void TestTallyController::pruningWithBudgetZero()
{
    auto c = make();
    c->setSettings(settings(QString()));
    for (int round = 0; round < 3; ++round) {
        c->logAppLaunched();
        c->logCustomEvent(*CRKTallyCustomEvent::create("x"));
        c->drainQueuesForTesting();
        QVERIFY(runChain(*c));
    }
    QCOMPARE(filesUnder("PACKAGED").size(), 6);
    c->logAppLaunched();   // into the open fragment, which pruning spares
    c->setSettings(settings(QString(), {{"max_pending_send_file_count", 0}}));
    std::atomic<bool> done{false};
    KTHError error;
    c->pruneSessionFragmentLogFiles([&](const KTHError& e) { error = e; done = true; });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 5000));
    QVERIFY(error.isNull());
    QVERIFY(!QFileInfo::exists(root() + "/v1/PACKAGED"));
    QCOMPARE(filesUnder("ACTIVE"), QStringList{c->currentSessionFragmentDirectory() + "/1.log"});

    // Lowest priority first, then the smallest path.
    const auto groups = CRKAnalyticsController::mutableSortedFileURLsGroupedByPriorities(
        {"/b/2.log.zip", "/a/0.log", "/a/2.log", "/c/stray", "/a/2.log.zip"});
    QCOMPARE(int(groups.size()), 3);
    QCOMPARE(groups[2], QStringList({"/a/2.log", "/a/2.log.zip", "/b/2.log.zip"}));
    QVERIFY(groups[1].isEmpty());
}

void TestTallyController::crashEventGoesToThePreviousSession()
{
    auto first = make();
    // No earlier session: nothing is written.
    first->logPreviousSessionCrashedOnDate(QDateTime::currentDateTimeUtc());
    first->drainQueuesForTesting();
    const QStringList before = filesUnder("ACTIVE");
    const QString firstSession = QStringLiteral("%1_%2").arg(first->sessionTimestamp()).arg(first->sessionIdentifier());
    QByteArray firstMetadata = CRKUserDefaults::standardUserDefaults()
                                   .objectForKey("com.crashkit.insights.lastsessionmetadata").toByteArray();
    QVERIFY(!firstMetadata.isEmpty());
    first.reset();

    KitHost::resetForTesting();   // the next run
    CRKUserDefaults::resetStandardUserDefaults();
    auto second = make();
    QVERIFY(second->sessionIdentifier() != firstSession.section('_', 1));
    const QDateTime crashed = QDateTime::fromMSecsSinceEpoch(1700000000789, Qt::UTC);
    second->logPreviousSessionCrashedOnDate(crashed);
    second->drainQueuesForTesting();
    QStringList added = filesUnder("ACTIVE");
    for (const QString& f : before)
        added.removeAll(f);
    QCOMPARE(added.size(), 1);
    QVERIFY(added[0].contains("/v1/ACTIVE/" + firstSession + "/1700000000000_"));
    QVERIFY(added[0].endsWith("/1.log"));
    const auto lines = parseLines(readFile(added[0]));
    QCOMPARE(keysOf(lines), QList<QByteArray>({"metadata", "app_crashed"}));
    QCOMPARE(*lines[0].payload, firstMetadata);
    QCOMPARE(lines[1].timestamp, qint64(1700000000000));
}

void TestTallyController::oneChainAtATime()
{
    std::atomic<int> inFlight{0}, most{0};
    http_->on("POST", "/upload", [&](const RecordedRequest&) {
        most = std::max(most.load(), ++inFlight);
        QThread::msleep(300);
        --inFlight;
        return ScriptedResponse(200);
    });
    auto c = make();
    c->setSettings(settings(http_->baseUrl() + "/upload"));
    std::atomic<int> done{0};
    for (int i = 0; i < 4; ++i) {
        c->logAppLaunched();
        c->maintainSessionFragments([&](const KTHError&) { ++done; });
    }
    QVERIFY(QTest::qWaitFor([&] { return done == 4; }, 15000));
    QCOMPARE(most.load(), 1);
    // The triggers during the first run ask for one more run, not three.
    QCOMPARE(c->chainsFinishedForTesting(), 2);
}

void TestTallyController::slowQueueKeepsItsFragmentOpen()
{
    std::mutex blocked;
    std::atomic<bool> hold{false};
    CRKAnalyticsController::Options options;
    options.fragmentSwitchDeadline = std::chrono::milliseconds(200);
    options.switchHookForTesting = [&](quint64 p) {
        if (p == 2 && hold)
            std::lock_guard<std::mutex> wait(blocked);
    };
    auto c = make(options);
    c->setSettings(settings(QString()));
    c->logCustomEvent(*CRKTallyCustomEvent::create("x"));
    c->drainQueuesForTesting();
    const QString first = c->currentSessionFragmentDirectory();

    // The low-priority queue misses the deadline: the new fragment does not
    // become current, and neither fragment may be packaged meanwhile.
    hold = true;
    blocked.lock();
    std::atomic<int> code{1};
    c->openNewSessionFragment([&](const KTHError& e) { code = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return code != 1; }, 5000));
    QVERIFY(code != 0);
    QCOMPARE(c->currentSessionFragmentDirectory(), first);
    std::atomic<bool> packaged{false};
    c->packageClosedSessionFragments([&](const KTHError&) { packaged = true; });
    QVERIFY(QTest::qWaitFor([&] { return packaged.load(); }, 5000));
    QVERIFY(filesUnder("PACKAGED").isEmpty());
    QVERIFY(QFile::exists(first + "/2.log"));

    // Once the queue has moved on, the old fragment is closed and packable.
    blocked.unlock();
    c->drainQueuesForTesting();
    packaged = false;
    c->packageClosedSessionFragments([&](const KTHError&) { packaged = true; });
    QVERIFY(QTest::qWaitFor([&] { return packaged.load(); }, 5000));
    QCOMPARE(filesUnder("PACKAGED").size(), 1);
    QVERIFY(!QFileInfo::exists(first));
}

void TestTallyController::failedPackagingLeavesTheActiveFragment()
{
    auto c = make();
    c->setSettings(settings(QString()));
    c->logCustomEvent(*CRKTallyCustomEvent::create("x"));
    c->drainQueuesForTesting();
    const QString closed = c->currentSessionFragmentDirectory();
    std::atomic<int> code{1};
    c->openNewSessionFragment([&](const KTHError& e) { code = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return code == 0; }, 5000));
    // A log that cannot be read (a folder by a log's name) fails the packaging.
    QVERIFY(QDir().mkpath(closed + "/9.log"));
    code = 1;
    c->packageClosedSessionFragments([&](const KTHError& e) { code = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return code != 1; }, 5000));
    QVERIFY(code != 0);
    QVERIFY(QFile::exists(closed + "/2.log"));
    QVERIFY(filesUnder("PACKAGED").isEmpty());

    QVERIFY(QDir(closed + "/9.log").removeRecursively());
    code = 1;
    c->packageClosedSessionFragments([&](const KTHError& e) { code = e.code; });
    QVERIFY(QTest::qWaitFor([&] { return code == 0; }, 5000));
    QCOMPARE(filesUnder("PACKAGED").size(), 1);
    QVERIFY(!QFileInfo::exists(closed));
}

void TestTallyController::sizeAndPriorityTriggers()
{
    auto c = make();
    // A priority-0 event before settings only marks maintenance as due.
    c->applicationLifecycleEvent(kNSApplicationDidBecomeActiveNotification);
    c->drainQueuesForTesting();
    QCOMPARE(c->chainsFinishedForTesting(), 0);
    c->setSettings(settings(QString()));
    QVERIFY(QTest::qWaitFor([&] { return c->chainsFinishedForTesting() == 1; }, 5000));
    c->applicationLifecycleEvent(kNSApplicationDidBecomeActiveNotification);
    QVERIFY(QTest::qWaitFor([&] { return c->chainsFinishedForTesting() == 2; }, 5000));

    // Size: strictly greater than the limit.
    c->setSettings(settings(QString(), {{"max_byte_size_per_file", 100000}}));
    c->logAppLaunched();
    c->drainQueuesForTesting();
    QTest::qWait(100);
    QCOMPARE(c->chainsFinishedForTesting(), 2);
    c->setSettings(settings(QString(), {{"max_byte_size_per_file", 200}}));
    c->drainQueuesForTesting();
    c->logCustomEvent(*CRKTallyCustomEvent::create("big", {{"a", QString(100, 'a')}}));
    QVERIFY(QTest::qWaitFor([&] { return c->chainsFinishedForTesting() >= 3; }, 5000));
}

void TestTallyController::flushIntervalTimer()
{
    using namespace std::chrono;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QCOMPARE(CRKAnalyticsController::initialMaintenanceDelay(60, now.addSecs(-20), now), milliseconds(40000));
    QCOMPARE(CRKAnalyticsController::initialMaintenanceDelay(60, now.addSecs(-600), now), milliseconds(0));
    QCOMPARE(CRKAnalyticsController::initialMaintenanceDelay(60, now.addDays(30), now), milliseconds(60000));

    auto c = make();
    c->setSettings(settings(QString(), {{"flush_interval_secs", 1}}));
    QVERIFY(QTest::qWaitFor([&] { return c->chainsFinishedForTesting() >= 2; }, 4500));
    c->setSettings(settings(QString(), {{"flush_interval_secs", 0}}));
    c->drainQueuesForTesting();
    QTest::qWait(300);   // a chain already under way finishes
    const int after = c->chainsFinishedForTesting();
    QTest::qWait(1500);
    QCOMPARE(c->chainsFinishedForTesting(), after);
}

void TestTallyController::withoutSettingsTheStoreStaysBounded()
{
    // Five closed fragments of an earlier run that never saw settings.
    for (int i = 0; i < 5; ++i) {
        const QString dir = root() + QStringLiteral("/v1/PACKAGED/1_old/%1_f").arg(i);
        QDir().mkpath(dir);
        QFile f(dir + "/2.log.zip");
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    CRKAnalyticsController::Options options;
    options.noSettingsMaintenanceDelay = std::chrono::milliseconds(200);
    options.noSettingsFileBudget = 2;
    auto c = make(options);
    QVERIFY(QTest::qWaitFor([&] { return c->chainsFinishedForTesting() == 1; }, 5000));
    QCOMPARE(filesUnder("PACKAGED").size(), 2);
    QVERIFY(http_->requests().empty());
}

void TestTallyController::kitHostStartsTheKitOnce()
{
    FakeKitService kit;   // the kit host's own requests stay on this machine
    // Settings that came back before the files are read would switch the kit
    // off (they carry no analytics) and take its folder with them.
    kit.setSettingsAnswers({ScriptedResponse(404, "{}", "application/json")});
    Tally::registerKit();
    KitHost& host = KitHost::with({"Tally"});
    QCOMPARE(host.kitClasses(), QStringList{"Tally"});
    QCOMPARE(host.kitVersionsByKitBundleIdentifier().value("com.kitvendor.tally.mac").toString(),
             QStringLiteral("1.0.1"));
    CRKAnalyticsController* c = Tally::sharedInstance().analyticsController();
    QVERIFY(c);
    QCOMPARE(c->rootDirectory(), root());
    QCOMPARE(c->sessionIdentifier(), host.executionIdentifier());
    Tally::startWithBetaToken("2:token");
    QCOMPARE(Tally::sharedInstance().analyticsController(), c);
    c->drainQueuesForTesting();
    const QString fragment = c->currentSessionFragmentDirectory();
    QCOMPARE(keysOf(parseLines(readFile(fragment + "/0.log"))), QList<QByteArray>({"metadata", "app_installed"}));
    QCOMPARE(keysOf(parseLines(readFile(fragment + "/1.log"))), QList<QByteArray>({"metadata", "app_launched"}));
    KTHKitRegistry::unregisterAllKits();
}

QTEST_GUILESS_MAIN(TestTallyController)
#include "tst_tally_controller.moc"
