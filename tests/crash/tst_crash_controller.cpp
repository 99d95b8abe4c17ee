#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>

#include "CrashReportFixture.h"
#include "crash/CRKBetaController.h"
#include "crash/CRKCrashReportingController.h"
#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKNetworkClient.h"
#include "crash/CRKReport.h"
#include "crash/core/CRKUserLogging.h"
#include "kithost/KTHSettingsOnboardingManager.h"
#include "platform/NotificationCenter.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

namespace {
const QString kPath = QStringLiteral("/sdk-api/v1/platforms/mac/apps/com.mirvok.dict/reports");

// The crash kit's side of the controller, with what a test wants it to say.
struct Delegate : CRKCrashReportingControllerDelegate {
    QVariantMap settings;
    bool mustInform = false;
    std::function<void(const std::shared_ptr<CRKInternalReport>&, std::function<void(bool)>)> offer;
    void (*crashCallback())(void*) override { return nullptr; }
    bool reportingControllerCanUseBackgroundSessions() override { return true; }
    bool reportingControllerMustInformDelegateOfReports() override { return mustInform; }
    void reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<CRKInternalReport>& r,
                                                            std::function<void(bool)> done) override
    {
        if (offer)
            offer(r, std::move(done));
        else
            done(true);
    }
    void reportingControllerInternalDidDetectReportForLastExecution(const std::shared_ptr<CRKInternalReport>&) override {}
    QStringList unclean;
    void reportingControllerDidDetectUncleanEnd(const std::shared_ptr<CRKInternalReport>& r) override
    {
        unclean << r->identifier();
    }
    bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) override { return signal == 6 || signal == 12; }
    QString APIKeyForCrashReportingController() override { return QStringLiteral("key-1"); }
    QString installIDForCrashReportingController() override { return QStringLiteral("install"); }
    bool isFirstInstallForCrashReportingController() override { return false; }
    CRKSettings settingsForCrashReportingController() override { return CRKSettings(settings); }
};

QStringList names(const QString& dir) { return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
}  // namespace

class TestCrashController : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The application's Info.plist, with a "CrashKit" dictionary.
        QVERIFY(resources_.isValid());
        QFile plist(resources_.path() + "/Info.plist");
        QVERIFY(plist.open(QIODevice::WriteOnly));
        plist.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.mirvok.dict</string>
<key>CFBundleVersion</key><string>100</string>
<key>CrashKitSignedForDistribution</key><true/>
<key>KitHost</key><dict><key>APIKey</key><string>key-1</string><key>Kits</key><array/></dict>
<key>CrashKit</key><dict><key>BetaEndpoint</key><string>http://beta.example:81</string>
<key>PackageReports</key><true/><key>UrgentReports</key><string>YES</string></dict>
</dict></plist>
)");
        plist.close();
        qputenv("MIRVOK_RESOURCES", resources_.path().toUtf8());
        service_ = std::make_unique<FakeHttpService>();
        service_->on("POST", kPath, ScriptedResponse(200, "{}", "application/json"));
        qputenv("CrashKitReportsEndpoint", service_->baseUrl().toUtf8());
    }
    void cleanup()
    {
        service_->clearRequests();
        CRKCrashReportingController::setAlertPresenter({});
        qunsetenv("CrashKitUrgentReports");
    }
    void promptAnswerCoversPendingReports_data();
    void promptAnswerCoversPendingReports();
    void urgentReportsUploadBeforeStartReturns();
    void liveFolderIsNeitherOfferedNorDeleted();
    void uncleanEndsAreCounted();
    void failedUploadsRetryAtMostSixTimes();
    void settingsValuesAndOverrides();
    void reportWritesKeysIntoItsFolder();
    void betaCheckNeedsAToken();
    void realAlertAnswersByButton();

private:
    QTemporaryDir resources_;
    std::unique_ptr<FakeHttpService> service_;
};

void TestCrashController::promptAnswerCoversPendingReports_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("posts");
    QTest::newRow("don't send") << 1002 << 0;
    QTest::newRow("always send") << 1001 << 3;
}

void TestCrashController::promptAnswerCoversPendingReports()
{
    QFETCH(int, answer);
    QFETCH(int, posts);
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    for (const char* id : {"a1", "a2", "a3"})
        makeCrashReportFolder(fm->activePath(), id, {"signal.crkrecord"});
    int alerts = 0;
    CRKCrashReportingController::setAlertPresenter(
        [&](const QString& title, const QString&, const QString& cancel, const QString&, const QString&,
            std::function<void(int)> done) {
            ++alerts;
            QCOMPARE(title, QStringLiteral("Send Crash Report?"));
            QCOMPARE(cancel, QStringLiteral("Don't Send"));
            QTimer::singleShot(50, [done, answer] { done(answer); });
        });
    Delegate d;
    d.settings = {{"features", QVariantMap{{"prompt_enabled", true}}}};
    CRKCrashReportingController controller(fm, &d);
    QVERIFY(controller.startWithProfilingMark(0, QString()));
    const QString current = QFileInfo(controller.currentReportPath()).fileName();
    QVERIFY(QTest::qWaitFor([&] { return names(fm->activePath()) == QStringList{current}; }, 10000));
    QVERIFY(QTest::qWaitFor([&] { return int(service_->requestsTo(kPath).size()) == posts && names(fm->preparedPath()).isEmpty(); }, 10000));
    QCOMPARE(alerts, 1);
    QVERIFY(answer == 1002 ? controller.promptChoice() == 1 : controller.promptChoice() >= 2);
    QVERIFY(names(fm->processingPath()).isEmpty());
}

void TestCrashController::urgentReportsUploadBeforeStartReturns()
{
    for (const bool urgentAllowed : {true, false}) {
        TestEnv env;
        service_->clearRequests();
        if (!urgentAllowed)
            qputenv("CrashKitUrgentReports", "NO");
        auto fm = std::make_shared<CRKFileManager>();
        fm->prepareForNewLaunch();
        makeCrashReportFolder(fm->activePath(), "died-early", {"signal.crkrecord"});
        writeCrashFile(fm->structurePath() + "/launchmarker", "");
        Delegate d;
        CRKCrashReportingController controller(fm, &d);
        QVERIFY(controller.startWithProfilingMark(0, QString()));
        QCOMPARE(int(service_->requestsTo(kPath).size()), urgentAllowed ? 1 : 0);
        // The marker lasts until the first event-loop turn.
        QVERIFY(QFile::exists(controller.launchFailureMarkerPath()));
        QVERIFY(QTest::qWaitFor([&] { return service_->requestsTo(kPath).size() == 1 && names(fm->preparedPath()).isEmpty(); }, 10000));
        QTRY_VERIFY(!QFile::exists(controller.launchFailureMarkerPath()));
        QCOMPARE(controller.machExceptionMask(), 1024u);
    }
}

void TestCrashController::liveFolderIsNeitherOfferedNorDeleted()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    const QString live = makeCrashReportFolder(fm->activePath(), "live", {"signal.crkrecord"});
    makeCrashReportFolder(fm->activePath(), "nothing-to-send", {});
    makeCrashReportFolder(fm->activePath(), "no-metadata", {"signal.crkrecord"});
    QFile::remove(fm->activePath() + "/no-metadata/metadata.crkrecord");
    // Another running instance holds the folder's lock.
    QProcess holder;
    holder.start("flock", {"-o", live + "/.lock", "sleep", "60"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(CRKFileManager::isReportFolderLive(live));

    {
        // Reporting off empties the folders, but not a live one.
        Delegate off;
        off.settings = {{"features", QVariantMap{{"collect_reports", false}}}};
        CRKCrashReportingController controller(fm, &off);
        QVERIFY(!controller.startWithProfilingMark(0, QString()));
        QCOMPARE(names(fm->activePath()), QStringList{"live"});
    }
    QStringList offered;
    Delegate d;
    // A null value reads as the default (on), never as "off".
    d.settings = {{"features", QVariantMap{{"collect_reports", QVariant::fromValue(nullptr)}}}};
    d.mustInform = true;
    d.offer = [&](const std::shared_ptr<CRKInternalReport>& r, std::function<void(bool)> done) {
        offered << r->identifier();
        done(true);
    };
    {
        CRKCrashReportingController controller(fm, &d);
        QVERIFY(controller.startWithProfilingMark(0, QString()));
        QTest::qWait(300);
        QVERIFY(offered.isEmpty());
        QVERIFY(QFileInfo::exists(live));
    }
    holder.kill();
    holder.waitForFinished();
    makeCrashReportFolder(fm->activePath(), "nothing-to-send", {});
    CRKCrashReportingController controller(fm, &d);
    QVERIFY(controller.startWithProfilingMark(0, QString()));
    QCOMPARE(offered, QStringList{"live"});
    QTRY_VERIFY(!QFileInfo::exists(live));
    QTRY_VERIFY(!QFileInfo::exists(fm->activePath() + "/nothing-to-send"));
    QTRY_VERIFY(service_->requestsTo(kPath).size() == 1);
}

// Catches: a run killed outright (no crash record, no quit) passing
// unnoticed, and a run that quit being counted as one.
void TestCrashController::uncleanEndsAreCounted()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    // (A crashed run is not counted: tst_crash_e2e.)
    makeCrashReportFolder(fm->activePath(), "killed", {});
    Delegate d;
    QString quitPath;
    {
        CRKCrashReportingController quitting(fm, &d);
        QVERIFY(quitting.startWithProfilingMark(0, QString()));
        NotificationCenter::defaultCenter().post(QStringLiteral("NSApplicationWillTerminateNotification"));
        quitPath = quitting.currentReportPath();
    }
    QCOMPARE(d.unclean, QStringList{"killed"});
    d.unclean.clear();
    // The crash core is set up once per process: give the quit run's folder
    // the metadata its run would have written.
    makeCrashReportFolder(fm->activePath(), QFileInfo(quitPath).fileName(), {});
    CRKCrashReportingController next(fm, &d);
    QVERIFY(next.startWithProfilingMark(0, QString()));
    QVERIFY(d.unclean.isEmpty());
}

void TestCrashController::failedUploadsRetryAtMostSixTimes()
{
    TestEnv env;
    FakeHttpService failing;
    failing.on("POST", kPath, ScriptedResponse(400, "{}", "application/json"));
    qputenv("CrashKitReportsEndpoint", failing.baseUrl().toUtf8());
    CRKCrashReportingController::setRetryIntervalForTesting(50);
    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    writeCrashFile(fm->preparedPath() + "/B1.multipartmime", "--B1--\r\n");
    Delegate d;
    {
        CRKCrashReportingController controller(fm, &d);
        QVERIFY(controller.startWithProfilingMark(0, QString()));
        QTRY_COMPARE(int(failing.requestsTo(kPath).size()), 1 + CRKCrashReportingController::kMaximumRetriesPerRun);
        QTest::qWait(400);
        QCOMPARE(int(failing.requestsTo(kPath).size()), 1 + CRKCrashReportingController::kMaximumRetriesPerRun);
    }
    QVERIFY(QFile::exists(fm->preparedPath() + "/B1.multipartmime"));
    qputenv("CrashKitReportsEndpoint", service_->baseUrl().toUtf8());
    CRKCrashReportingController::setRetryIntervalForTesting(600 * 1000);
}

void TestCrashController::settingsValuesAndOverrides()
{
    const CRKSettings odd(QVariantMap{
        {"features", QVariantMap{{"collect_reports", QVariantList{}}, {"prompt_enabled", "YES"}}},
        {"session", QVariantMap{{"log_buffer_size", 1 << 30}, {"max_custom_key_value_pairs", QVariantMap{}},
                                {"max_custom_exception_events", "40"}}}});
    QVERIFY(odd.crashReportingEnabled());
    QVERIFY(odd.userPromptEnabled());
    QCOMPARE(odd.logBufferSize(), 1024u * 1024u);
    QCOMPARE(odd.errorLogBufferSize(), 1024u * 1024u);
    QCOMPARE(odd.maxCustomKeys(), 16u);
    QCOMPARE(odd.maxCustomExceptions(), 40u);
    QVERIFY(!CRKSettings(QVariantMap{{"features", QVariantMap{{"collect_reports", false}}}}).crashReportingEnabled());
    QVERIFY(CRKSettings(QVariantMap{{"features", QVariantMap{}}}).crashReportingEnabled());
    QCOMPARE(CRKSettings(QVariantMap{{"prompt", QVariantMap{{"title", "Oops"}}}}).interactivePromptTitle(), QStringLiteral("Oops"));

    QVERIFY(CRKSettings().shouldSubmitReports());
    qputenv("CrashKitSubmitReports", "NO");
    QTest::ignoreMessage(QtInfoMsg, "[CrashKit:Crash] override: 'SubmitReports' => 'NO'");
    QVERIFY(!CRKSettings().shouldSubmitReports());
    qunsetenv("CrashKitSubmitReports");
    // The Info.plist "CrashKit" dictionary, below the environment.
    QCOMPARE(CRKSettings().betaEndpoint(), QStringLiteral("http://beta.example:81"));
    QVERIFY(CRKSettings().shouldPackageReports() && CRKSettings().canProcessUrgentReports());
    qputenv("CrashKitBetaEndpoint", "http://other.example");
    QTest::ignoreMessage(QtInfoMsg, "[CrashKit:Crash] override: 'BetaEndpoint' => 'http://other.example'");
    QCOMPARE(CRKSettings().betaEndpoint(), QStringLiteral("http://other.example"));
    qunsetenv("CrashKitBetaEndpoint");
}

void TestCrashController::reportWritesKeysIntoItsFolder()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    Delegate d;
    CRKCrashReportingController controller(fm, &d);   // sets the crash-time core up, once per process
    controller.startWithProfilingMark(0, QString());
    const QString folder = makeCrashReportFolder(fm->processingPath(), "old", {"errors_a.crkrecord"});
    CRKReport report(CRKInternalReport::reportWithPath(folder));
    QCOMPARE(report.identifier(), QStringLiteral("old"));
    QCOMPARE(report.crashedOnDate(), report.dateCreated());
    QCOMPARE(report.dateCreated()->toSecsSinceEpoch(), 1700000000);
    QVERIFY(!report.isCrash());
    report.setUserName(QStringLiteral("Li Lei"));
    report.setObjectValue(42, QStringLiteral("answer"));
    QVERIFY(report.userName().isNull());
    const auto internal = CRKUserLoggingReadKVEntries(QFile::encodeName(folder + "/internal_incremental_kv.crkrecord"));
    QCOMPARE(int(internal.size()), 1);
    QCOMPARE(internal[0].key, std::string("com.crashkit.user-name"));
    QCOMPARE(internal[0].value, std::string("Li Lei"));
    const auto user = CRKUserLoggingReadKVEntries(QFile::encodeName(folder + "/user_incremental_kv.crkrecord"));
    QCOMPARE(int(user.size()), 1);
    QCOMPARE(user[0].value, std::string("42"));
}

namespace {
struct BetaDelegate : CRKBetaControllerDelegate {
    QString APIKeyForBetaController() override { return QStringLiteral("key-1"); }
    CRKSettings settingsForBetaController() override { return CRKSettings(); }
};
}  // namespace

void TestCrashController::betaCheckNeedsAToken()
{
    FakeHttpService beta;
    const QString path = QStringLiteral("/spi/v2/platforms/mac/apps/com.mirvok.dict/beta_update_check");
    beta.on("GET", path, ScriptedResponse(200, R"({"url":"https://x.example/b","version_string":"2"})", "application/json"));
    qputenv("CrashKitBetaEndpoint", beta.baseUrl().toUtf8());
    QVERIFY(CRKBetaController::isBetaSupported());
    BetaDelegate d;
    {
        CRKBetaController none(&d);
        QVERIFY(!none.start());
        QVERIFY(none.betaToken().isNull());
        NotificationCenter::defaultCenter().post(QString::fromLatin1(KTHSettingsAvailableNotification));
        QTest::qWait(300);
        QCOMPARE(beta.requestCount(), 0);
    }
    CRKSetBetaTokenProvider([] { return QStringLiteral("tok-7"); });
    CRKBetaController controller(&d);
    QVERIFY(controller.start());
    // Two announcements in quick succession send one request.
    NotificationCenter::defaultCenter().post(QString::fromLatin1(KTHSettingsAvailableNotification));
    NotificationCenter::defaultCenter().post(QString::fromLatin1(KTHSettingsAvailableNotification));
    QTRY_VERIFY(controller.activeUpdate().has_value());
    QCOMPARE(controller.activeUpdate()->url, QUrl("https://x.example/b"));
    QVERIFY(controller.checksSuspended());
    const auto requests = beta.requestsTo(path);
    QCOMPARE(int(requests.size()), 1);
    const RecordedRequest& r = requests[0];
    QCOMPARE(r.queryValue("build_version"), QStringLiteral("100"));
    QCOMPARE(r.queryValue("source"), QStringLiteral("3"));
    QVERIFY(!r.queryValue("instance").isEmpty());
    QCOMPARE(r.header("X-CrashKit-Beta-Token"), QByteArray("tok-7"));
    QCOMPARE(r.header("X-CrashKit-API-Key"), QByteArray("key-1"));
    QCOMPARE(r.header("X-CrashKit-Developer-Token"), QByteArray("5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702"));
    QVERIFY(!CRKBetaUpdate::betaUpdateWithDictionary(QVariantMap{{"version_string", "2"}}, nullptr));
    CRKSetBetaTokenProvider({});
    qunsetenv("CrashKitBetaEndpoint");
}

void TestCrashController::realAlertAnswersByButton()
{
    // The alert itself, once: the buttons in order and the answer codes.
    for (const QString& click : {QStringLiteral("Always Send"), QStringLiteral("Don't Send"), QStringLiteral("Send")}) {
        int answer = 0;
        CRKCrashReportingController::presentAlert("Send Crash Report?", "Looks like we crashed!", "Don't Send", "Send",
                                                  "Always Send", [&](int a) { answer = a; });
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) != nullptr);
        QStringList texts;
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            texts << b->text();
            if (b->text() == click)
                target = b;
        }
        QCOMPARE(texts.size(), 3);
        QVERIFY(target);
        target->click();
        QTRY_VERIFY(answer != 0);
        QCOMPARE(answer, click == "Send" ? 1000 : click == "Always Send" ? 1001 : 1002);
    }
}

QTEST_MAIN(TestCrashController)
#include "tst_crash_controller.moc"
