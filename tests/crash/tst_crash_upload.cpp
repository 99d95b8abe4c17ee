#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QtTest>
#include <atomic>
#include <thread>

#include "CrashReportFixture.h"
#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKNetworkClient.h"
#include "crash/CRKReportsController.h"
#include "crash/CRKSettings.h"
#include "kithost/CRKURLSession.h"
#include "kithost/KTHMultipartMimeStreamEncoder.h"
#include "platform/SerialQueue.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

namespace {
const QString kPath = QStringLiteral("/sdk-api/v1/platforms/mac/apps/com.mirvok.dict/reports");

// The reports controller and upload client as the crash reporting
// controller wires them, with the outcomes recorded.
struct Pipeline : CRKNetworkClientDelegate, CRKReportsControllerDelegate {
    std::shared_ptr<CRKFileManager> fm = std::make_shared<CRKFileManager>();
    std::shared_ptr<SerialQueue> queue = std::make_shared<SerialQueue>(QStringLiteral("test.work"));
    std::shared_ptr<CRKNetworkClient> client;
    std::unique_ptr<CRKReportsController> reports;
    QMutex mutex;
    QList<QPair<QString, KTHError>> done;

    Pipeline()
    {
        fm->prepareForNewLaunch();
        client = std::make_shared<CRKNetworkClient>(queue, fm, this);
        reports = std::make_unique<CRKReportsController>(this, client, fm);
    }
    bool networkClientCanUseBackgroundSessions() override { return true; }
    void networkClientDidFinishUpload(const QString& path, const KTHError& e) override { reports->reportUploadAtPath(path, e); }
    void reportsControllerDidCompletePackageSubmission(const QString& path, const KTHError& e) override
    {
        QMutexLocker lock(&mutex);
        done.append({path, e});
    }
    CRKSettings settingsForReportsController() override { return CRKSettings(); }
    QString APIKeyForReportsController() override { return QStringLiteral("api-key-9"); }
    QString bundleIdentifierForReportsController() override { return QStringLiteral("com.mirvok.dict"); }
    int doneCount()
    {
        QMutexLocker lock(&mutex);
        return int(done.size());
    }

    QString package(const QByteArray& boundary = "5F0C9A2E-1111-2222-3333-444455556666")
    {
        const QString path = fm->preparedPath() + "/" + boundary + ".multipartmime";
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        KTHMultipartMimeStreamEncoder e(&f, QString::fromLatin1(boundary));
        e.encode([](KTHMultipartMimeStreamEncoder& enc) {
            enc.addValue(QStringLiteral("r-1"), QStringLiteral("report_id"));
            enc.addFileData("\x1f\x8b", QStringLiteral("signal.crkrecord.gz"), QStringLiteral("application/x-gzip"),
                            QStringLiteral("signal"));
        });
        return path;
    }
};
}  // namespace

class TestCrashUpload : public QObject {
    Q_OBJECT
private slots:
    void init() { qputenv("CrashKitReportsEndpoint", service_ ? service_->baseUrl().toUtf8() : QByteArray()); }
    void initTestCase()
    {
        service_ = std::make_unique<FakeHttpService>();
        CRKNetworkClient::setRetrySecondScaleForTesting(20);
    }
    void cleanup() { service_->clearRequests(); service_->clearScripts(); }
    void successSendsExactRequestAndRemovesPackage();
    void retryAfterRestartsAreSpacedAndCapped();
    void clientErrorKeepsPackage();
    void oneTaskPerFile();
    void urgentUploadGivesUpAfterTwoSeconds();
    void answerAfterTheClientIsGoneReachesNobody();
    void whatAnotherInstanceHoldsIsLeftAlone();

private:
    std::unique_ptr<FakeHttpService> service_;
};

void TestCrashUpload::successSendsExactRequestAndRemovesPackage()
{
    TestEnv env;
    Pipeline p;
    service_->on("POST", kPath, ScriptedResponse(200, "{}", "application/json"));
    const QString package = p.package();
    const qint64 size = QFileInfo(package).size();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 10000));
    QVERIFY(p.done[0].second.isNull());
    QVERIFY(!QFile::exists(package));
    const auto requests = service_->requestsTo(kPath);
    QCOMPARE(int(requests.size()), 1);
    const RecordedRequest& r = requests[0];
    QCOMPARE(r.header("X-CrashKit-API-Key"), QByteArray("api-key-9"));
    QCOMPARE(r.header("User-Agent"), QByteArray("CrashKit Mac SDK/3.4.1"));
    QCOMPARE(r.header("Content-Type"), QByteArray("multipart/form-data; boundary=5F0C9A2E-1111-2222-3333-444455556666"));
    QCOMPARE(r.header("Content-Length"), QByteArray::number(size));
    QCOMPARE(r.parts.size(), 2);
    QCOMPARE(r.parts[1].bytes, QByteArray("\x1f\x8b"));
    // An empty package counts as sent already.
    QFile empty(p.fm->preparedPath() + "/E.multipartmime");
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(!p.reports->uploadPackagedReportAtPath(empty.fileName(), false));
}

void TestCrashUpload::retryAfterRestartsAreSpacedAndCapped()
{
    TestEnv env;
    Pipeline p;
    QList<qint64> times;
    QElapsedTimer clock;
    clock.start();
    QMutex mutex;
    service_->on("POST", kPath, [&](const RecordedRequest&) {
        QMutexLocker lock(&mutex);
        times << clock.elapsed();
        return ScriptedResponse(503, "", "text/plain", {{"Retry-After", times.size() % 2 ? "0" : "abc"}});
    });
    const QString package = p.package();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 20000));
    QCOMPARE(times.size(), 1 + CRKNetworkClient::kMaximumRestarts);
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] >= 10 * 20 - 5, qPrintable(QString::number(times[i] - times[i - 1])));
    QVERIFY(!p.done[0].second.isNull());
    QVERIFY(QFile::exists(package));   // kept for the next start
}

void TestCrashUpload::clientErrorKeepsPackage()
{
    TestEnv env;
    Pipeline p;
    service_->on("POST", kPath, ScriptedResponse(400, "{}", "application/json"));
    const QString package = p.package();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 10000));
    QCOMPARE(p.done[0].second.code, -5);
    QVERIFY(QFile::exists(package));
    QCOMPARE(int(service_->requestsTo(kPath).size()), 1);
}

void TestCrashUpload::oneTaskPerFile()
{
    TestEnv env;
    Pipeline p;
    service_->on("POST", kPath, ScriptedResponse(200, "{}", "application/json", {}, 500));
    const QString package = p.package();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 10000));
    QTest::qWait(300);
    QCOMPARE(int(service_->requestsTo(kPath).size()), 1);
}

void TestCrashUpload::urgentUploadGivesUpAfterTwoSeconds()
{
    TestEnv env;
    Pipeline p;
    service_->on("POST", kPath, ScriptedResponse(200, "{}", "application/json", {}, 3500));
    const QString package = p.package();
    QElapsedTimer t;
    t.start();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, true));
    QVERIFY2(t.elapsed() >= 1900 && t.elapsed() < 3200, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(p.doneCount(), 0);
    QVERIFY(QFile::exists(package));
    // The same answer time is within a normal upload's 10 s.
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 12000));
    QVERIFY(p.done[0].second.isNull());
}

// Quit, or a controller replaced, while an upload is in flight: the late
// answer must not touch the client (a use-after-free under ASan).
void TestCrashUpload::answerAfterTheClientIsGoneReachesNobody()
{
    TestEnv env;
    Pipeline p;
    std::atomic<bool> arrived{false}, answer{false};
    service_->on("POST", kPath, [&](const RecordedRequest&) {
        arrived = true;
        while (!answer)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ScriptedResponse(503, "", "text/plain", {{"Retry-After", "0"}});
    });
    const auto answerOnExit = qScopeGuard([&] { answer = true; });
    const QString package = p.package();
    QVERIFY(p.reports->uploadPackagedReportAtPath(package, false));
    QVERIFY(QTest::qWaitFor([&] { return arrived.load(); }, 10000));
    p.reports.reset();
    p.client.reset();
    answer = true;
    QVERIFY(QTest::qWaitFor([] { return CRKURLSession::unfinishedTasksForTesting() == 0; }, 10000));
    p.queue->sync([] {});
    QCOMPARE(p.doneCount(), 0);
    QVERIFY(QFile::exists(package));
}

// Catches: a package or report folder another running instance has locked
// being sent or moved from under it.
void TestCrashUpload::whatAnotherInstanceHoldsIsLeftAlone()
{
    TestEnv env;
    Pipeline p;
    service_->on("POST", kPath, ScriptedResponse(200, "{}", "application/json"));
    const QString held = p.package("0A0A0A0A-1111-2222-3333-444455556666");
    const QString folder = makeCrashReportFolder(p.fm->activePath(), "r-held", {"signal.crkrecord"});
    {
        CrashLockHolder packageLock(held), folderLock(folder + "/.lock");
        QVERIFY(packageLock.held() && folderLock.held());
        QVERIFY(!p.reports->prepareAndSubmitReport(CRKInternalReport::reportWithPath(folder), false, true));
        QVERIFY(QFileInfo::exists(folder + "/signal.crkrecord"));
        p.reports->uploadPackagedReportAtPath(held, false);
        p.queue->sync([] {});
    }
    // A package sent after the held one's turn on the queue arrives alone.
    const QString free = p.package();
    QVERIFY(p.reports->uploadPackagedReportAtPath(free, false));
    QVERIFY(QTest::qWaitFor([&] { return p.doneCount() == 1; }, 10000));
    QCOMPARE(p.done[0].first, free);
    QCOMPARE(int(service_->requestsTo(kPath).size()), 1);
    QVERIFY(QFile::exists(held));
}

QTEST_GUILESS_MAIN(TestCrashUpload)
#include "tst_crash_upload.moc"
