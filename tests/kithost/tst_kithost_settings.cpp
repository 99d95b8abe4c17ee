#include <QFile>
#include <QRandomGenerator>
#include <QtTest>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "kithost/KTHApplicationIdentiferModel.h"
#include "kithost/KTHDownloadAndSaveSettingsOperation.h"
#include "kithost/KTHNetworkClient.h"
#include "kithost/KTHOnboardingOperation.h"
#include "kithost/KTHSettings.h"
#include "kithost/KTHSettingsOnboardingManager.h"
#include "kithost/KitHost.h"
#include "platform/NotificationCenter.h"
#include "support/FakeKitService.h"
#include "support/TestEnv.h"

namespace {

QVariantMap info()
{
    return {{QStringLiteral("KitHost"), QVariantMap{{QStringLiteral("APIKey"), QStringLiteral("api-key-1")},
                                                   {QStringLiteral("Kits"), QVariantList{}}}}};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestKitHostSettings : public QObject {
    Q_OBJECT
private slots:
    void killedSaveLeavesAWholeFile();
    void init();
    void cleanup();
    void settingsAreFetchedWithTheirHeadersAndSaved();
    void newAppIsCreatedThenSettingsFetchedAgain();
    void updateComesAfterTheNotification();
    void failedDownloadsKeepTheOldFile_data();
    void failedDownloadsKeepTheOldFile();
    void corruptSavedFileReadsAsNone();
    void cancelledRegistrationNeverEndsItsSuccessor();

private:
    void startHost();
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<QObject> observer_;
    std::atomic<int> notifications_{0};
    std::atomic<int> requestsAtNotification_{-1};
    FakeKitService* fake_ = nullptr;
};

void TestKitHostSettings::killedSaveLeavesAWholeFile()
{
    // Runs before any network thread exists, so forking is plain.
    TestEnv env;
    const QString dir = env.cacheHome() + QStringLiteral("/io.kithost.sdk.mac.data/com.mirvok.dict");
    const QString path = dir + QStringLiteral("/settings.json");
    const QByteArray a = "{\"v\":\"" + QByteArray(4 << 20, 'a') + "\"}";
    const QByteArray b = "{\"v\":\"" + QByteArray(3 << 20, 'b') + "\"}";
    QString why;
    QVERIFY(KTHDownloadAndSaveSettingsOperation::saveSettingsFile(dir, path, a, &why));
    for (int k = 0; k < 25; ++k) {
        QVERIFY(KTHDownloadAndSaveSettingsOperation::saveSettingsFile(dir, path, a, &why));
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0;; ++i)
                KTHDownloadAndSaveSettingsOperation::saveSettingsFile(dir, path, i % 2 ? a : b, &why);
        }
        QVERIFY(child > 0);
        // Once the child's first save is in, however slowly the busy machine
        // lets it start; then at a random point of the saves after it.
        const bool saved = QTest::qWaitFor([&] { return readAll(path) == b; }, 30000);
        if (saved)
            QTest::qSleep(QRandomGenerator::global()->bounded(60));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        const QByteArray now = readAll(path);
        QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("kill %1: %2 bytes").arg(k).arg(now.size())));
        QVERIFY2(saved, "the child completed no save");
    }
}

void TestKitHostSettings::init()
{
    env_ = std::make_unique<TestEnv>();
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(info());
    notifications_ = 0;
    requestsAtNotification_ = -1;
    observer_ = std::make_unique<QObject>();
    NotificationCenter::defaultCenter().addObserver(QString::fromLatin1(KTHSettingsAvailableNotification),
                                                    observer_.get(), [this](const Notification&) {
                                                        requestsAtNotification_ = fake_ ? fake_->http().requestCount() : -1;
                                                        ++notifications_;
                                                    });
}

void TestKitHostSettings::cleanup()
{
    observer_.reset();
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(std::nullopt);
    fake_ = nullptr;
    env_.reset();
}

void TestKitHostSettings::startHost()
{
    KitHost::with({});
}

void TestKitHostSettings::settingsAreFetchedWithTheirHeadersAndSaved()
{
    FakeKitService fake;
    fake_ = &fake;
    QVERIFY(!KitHost::sharedSDK().settings());
    startHost();
    QTRY_COMPARE(notifications_.load(), 1);
    const auto gets = fake.settingsRequests();
    QCOMPARE(int(gets.size()), 1);
    const RecordedRequest& r = gets[0];
    const QString instance = KitHost::sharedSDK().instanceIdentifier();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(instance).hasMatch());
    QCOMPARE(QString::fromLatin1(r.rawQuery),
             QStringLiteral("build_version=100&display_version=0.1.0&instance=%1&source=1").arg(instance));
    QCOMPARE(r.header("Accept"), QByteArray("application/json"));
    QCOMPARE(r.header("Accept-Charset"), QByteArray("utf-8"));
    QCOMPARE(r.header("X-CrashKit-API-Key"), QByteArray("api-key-1"));
    QCOMPARE(r.header("X-CrashKit-Installation-ID"), KitHost::sharedSDK().installID().toUtf8());
    QCOMPARE(r.header("X-CrashKit-API-Client-Version"), QByteArray("1.6.1"));
    QCOMPARE(r.header("X-CrashKit-Developer-Token"), QByteArray("5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702"));
    QVERIFY(!r.header("X-CrashKit-OS-Build-Version").isEmpty());
    QVERIFY(r.header("X-CrashKit-Advertising-Token").isNull());

    const QString saved = env_->cacheHome() + QStringLiteral("/io.kithost.sdk.mac.data/com.mirvok.dict/settings.json");
    QCOMPARE(readAll(saved), QByteArray(R"({"app":{"status":"activated"}})"));
    QCOMPARE(KitHost::sharedSDK().settings()->value("app").toMap().value("status").toString(),
             QStringLiteral("activated"));
    QTest::qWait(200);
    QCOMPARE(notifications_.load(), 1);
    QVERIFY(fake.createRequests().empty() && fake.updateRequests().empty());
}

void TestKitHostSettings::newAppIsCreatedThenSettingsFetchedAgain()
{
    FakeKitService fake;
    fake_ = &fake;
    fake.setSettingsAnswers({FakeKitService::settingsJson(R"({"app":{"status":"new","update_required":true}})"),
                             FakeKitService::settingsJson(R"({"app":{"status":"new","update_required":true}})")});
    startHost();
    QTRY_COMPARE(notifications_.load(), 1);
    QTest::qWait(200);
    QCOMPARE(notifications_.load(), 1);
    QCOMPARE(int(fake.settingsRequests().size()), 2);   // the create is followed by one more download
    QCOMPARE(int(fake.createRequests().size()), 1);
    QVERIFY(fake.updateRequests().empty());
    QCOMPARE(requestsAtNotification_.load(), 3);

    const RecordedRequest create = fake.createRequests()[0];
    QCOMPARE(create.method, QStringLiteral("POST"));
    QVERIFY(create.header("Content-Type").startsWith("multipart/form-data; boundary="));
    QStringList names;
    QMap<QString, QByteArray> values;
    for (const RecordedPart& p : create.parts) {
        names << p.name;
        values[p.name] = p.bytes;
    }
    QCOMPARE(names, (QStringList{"app[identifier]", "app[instance_identifier]", "app[name]", "app[build_version]",
                                 "app[display_version]", "app[source]", "app[build][libraries][io.kithost.sdk.mac]",
                                 "app[slices][][arch]", "app[slices][][uuid]"}));
    QCOMPARE(values["app[identifier]"], QByteArray("com.mirvok.dict"));
    QCOMPARE(values["app[instance_identifier]"], KitHost::sharedSDK().instanceIdentifier().toUtf8());
    QCOMPARE(values["app[name]"], QByteArray("Mirvok"));
    QCOMPARE(values["app[source]"], QByteArray("1"));
    QCOMPARE(values["app[build][libraries][io.kithost.sdk.mac]"], QByteArray("1.6.1"));
    QCOMPARE(values["app[slices][][uuid]"].size(), 32);
    QCOMPARE(create.header("X-CrashKit-API-Key"), QByteArray("api-key-1"));
}

void TestKitHostSettings::updateComesAfterTheNotification()
{
    FakeKitService fake;
    fake_ = &fake;
    fake.setSettingsAnswers({FakeKitService::settingsJson(R"({"app":{"status":"activated","update_required":true}})")});
    startHost();
    QTRY_COMPARE(int(fake.updateRequests().size()), 1);
    QCOMPARE(notifications_.load(), 1);
    QCOMPARE(requestsAtNotification_.load(), 1);   // posted before the update was sent
    QCOMPARE(fake.updateRequests()[0].method, QStringLiteral("PUT"));
    QTest::qWait(200);
    QCOMPARE(int(fake.settingsRequests().size()), 1);
}

void TestKitHostSettings::failedDownloadsKeepTheOldFile_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<int>("attempts");
    QTest::newRow("server error, retried once") << 500 << QByteArray("{}") << QByteArray("application/json") << 2;
    QTest::newRow("not found") << 404 << QByteArray("{}") << QByteArray("application/json") << 1;
    QTest::newRow("not JSON") << 200 << QByteArray("<html>") << QByteArray("application/json") << 1;
    QTest::newRow("JSON but not an object") << 200 << QByteArray("[1,2]") << QByteArray("application/json") << 1;
    QTest::newRow("wrong content type") << 200 << QByteArray("{}") << QByteArray("text/html") << 1;
}

void TestKitHostSettings::failedDownloadsKeepTheOldFile()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(int, attempts);
    const QString dir = env_->cacheHome() + QStringLiteral("/io.kithost.sdk.mac.data/com.mirvok.dict");
    QString why;
    QVERIFY(KTHDownloadAndSaveSettingsOperation::saveSettingsFile(dir, dir + QStringLiteral("/settings.json"),
                                                                  R"({"old":true})", &why));
    FakeKitService fake;
    fake_ = &fake;
    fake.setSettingsAnswers({ScriptedResponse(status, body, contentType, {{"Retry-After", "0"}})});
    startHost();
    QTRY_COMPARE(int(fake.settingsRequests().size()), attempts);
    QTest::qWait(300);
    QCOMPARE(int(fake.settingsRequests().size()), attempts);
    QCOMPARE(notifications_.load(), 0);
    QCOMPARE(readAll(dir + QStringLiteral("/settings.json")), QByteArray(R"({"old":true})"));
    QCOMPARE(KitHost::sharedSDK().settings()->value("old").toBool(), true);
}

void TestKitHostSettings::corruptSavedFileReadsAsNone()
{
    const QString path = env_->root() + QStringLiteral("/settings.json");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\"app\":");
    f.close();
    KTHSettings settings(path);
    QVERIFY(!settings.settingsDictionary());
    QVERIFY(!QFile::exists(path));
    QVERIFY(!settings.appNeedsOnboarding());
}

void TestKitHostSettings::cancelledRegistrationNeverEndsItsSuccessor()
{
    struct Delegate : KTHOnboardingOperationDelegate {
        std::atomic<int> creates{0};
        std::atomic<KTHOnboardingOperation*> last{nullptr};
        void onboardingOperationDidCompleteAppCreationWithError(KTHOnboardingOperation* op, const KTHError&) override
        {
            last = op;
            ++creates;
        }
        void onboardingOperationDidCompleteAppUpdateWithError(KTHOnboardingOperation*, const KTHError&) override {}
    };
    FakeKitService fake;
    fake.setCreateAnswer(ScriptedResponse(201, "{}", "application/json", {}, 300));
    auto delegate = std::make_shared<Delegate>();
    auto client = std::make_shared<KTHNetworkClient>();
    std::shared_ptr<const KTHApplicationIdentiferModel> fat =
        KTHApplicationIdentiferModel::createForExecutable(QStringLiteral("I"), QStringLiteral(MACHO_FIXTURES "/fat"));
    const QVariantMap kits{{QStringLiteral("io.kithost.sdk.mac"), QStringLiteral("1.6.1")}};
    auto first = std::make_shared<KTHOnboardingOperation>(delegate, true, QStringLiteral("k"), kits, fat,
                                                          fake.baseUrl(), client);
    auto second = std::make_shared<KTHOnboardingOperation>(delegate, true, QStringLiteral("k"), kits, fat,
                                                           fake.baseUrl(), client);
    QCOMPARE(first->onboardingRequestForAppCreate(true).timeoutMs, 2000);
    QCOMPARE(first->onboardingRequestForAppCreate(false).timeoutMs, 10000);
    QCOMPARE(first->onboardingRequestForAppCreate(false).url.path(), fake.updatePath());
    first->start();
    QVERIFY(fake.http().waitForRequests(1));
    first->cancel();
    second->start();
    QTRY_COMPARE(delegate->creates.load(), 1);
    QTRY_VERIFY(first->isFinished());
    QTest::qWait(100);
    QCOMPARE(delegate->creates.load(), 1);
    QCOMPARE(delegate->last.load(), second.get());

    // A fat executable: SDK versions and one arch/uuid pair per slice.
    const RecordedRequest form = fake.createRequests().at(0);
    QStringList names;
    for (const RecordedPart& p : form.parts)
        names << p.name;
    QCOMPARE(names.mid(6, 2), (QStringList{"app[minimum_sdk_version]", "app[built_sdk_version]"}));
    QCOMPARE(form.parts[6].bytes, QByteArray("9.0.0"));
    QCOMPARE(names.count(QStringLiteral("app[slices][][arch]")), 6);
    const int at = names.indexOf(QStringLiteral("app[slices][][arch]"));
    QCOMPARE(form.parts[at].bytes, QByteArray("arm64"));
    QCOMPARE(form.parts[at + 1].name, QStringLiteral("app[slices][][uuid]"));
    QCOMPARE(QString::fromLatin1(form.parts[at + 1].bytes), fat->architectureUUIDMap().value(QStringLiteral("arm64")));
}

QTEST_GUILESS_MAIN(TestKitHostSettings)
#include "tst_kithost_settings.moc"
