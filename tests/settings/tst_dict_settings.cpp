#include "platform/UserDefaults.h"
#include "query/DictSettings.h"
#include "support/TestEnv.h"

#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>

// Counts defaults writes per key between two points of a test.
class WriteRecorder {
public:
    WriteRecorder() {
        conn_ = QObject::connect(&UserDefaults::standard(), &UserDefaults::changed,
                                 [this](const QString& key) { keys_ << key; });
    }
    ~WriteRecorder() { QObject::disconnect(conn_); }
    const QStringList& keys() const { return keys_; }

private:
    QMetaObject::Connection conn_;
    QStringList keys_;
};

class DictSettingsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    DictSettings& s = DictSettings::sharedInstance();

private Q_SLOTS:
    void init() {
        env_ = std::make_unique<TestEnv>();
        s.resetForTesting();
    }
    void cleanup() { env_.reset(); }

    void firstStartGivesZeroStateAndMarksVersion() {
        s.loadSettings();
        QVERIFY(s.authUserName().isNull());
        QVERIFY(s.lastLoginUser().isNull());
        QCOMPARE(s.syncWordNum(), 0);
        QCOMPARE(s.syncWordTime(), 0.0);
        QCOMPARE(s.queryLanguage(), 0);
        QVERIFY(!s.adsClosed());
        QVERIFY(!s.profileUnLocked());
        QCOMPARE(s.localTimeStamp(), QStringLiteral("0"));
        QCOMPARE(s.eventCountToRate(), 10);
        QVERIFY(s.needCheckLibUpdate());
        QVERIFY(!s.adsSetupSucess());
        QVERIFY(s.settingVersion().isNull());  // the property keeps what was read
        QCOMPARE(UserDefaults::standard().stringValue(kSettingVersionKey), QStringLiteral("1.0.0"));
        // Loading alone writes nothing but the version mark.
        QCOMPARE(UserDefaults::standard().keys(), QStringList{kSettingVersionKey});
    }

    void loadReadsStoredValuesAndFallsBackForLastLoginUser() {
        UserDefaults& d = UserDefaults::standard();
        d.setValue(QStringLiteral("kAuthUserName"), QStringLiteral("li.lei"));
        d.setValue(QStringLiteral("kSyncWordNum"), 42);
        d.setValue(QStringLiteral("kSyncWordTime"), 1700000000.5);
        d.setValue(QStringLiteral("default_key_mv_ads_closed"), true);
        d.setValue(QStringLiteral("default_key_setting_version"), QStringLiteral("1.0.0"));
        d.setValue(QStringLiteral("default_key_offline_dict_promot_times"), 7);
        env_->restart();  // values come back from the file as text, as on a real start
        s.loadSettings();
        QCOMPARE(s.authUserName(), QStringLiteral("li.lei"));
        QCOMPARE(s.lastLoginUser(), QStringLiteral("li.lei"));
        QCOMPARE(s.syncWordNum(), 42);
        QCOMPARE(s.syncWordTime(), 1700000000.5);
        QCOMPARE(s.offlineDictUpdatePromoteTime(), quint64(7));
        QVERIFY(s.adsClosed());  // no upgrade with the current version mark
        QCOMPARE(s.settingVersion(), QStringLiteral("1.0.0"));

        // An old version mark runs the upgrade, which reopens closed adverts.
        UserDefaults& d2 = UserDefaults::standard();  // reopened by restart()
        d2.setValue(QStringLiteral("default_key_setting_version"), QStringLiteral("0.9"));
        s.loadSettings();
        QVERIFY(!s.adsClosed());
        QCOMPARE(s.settingVersion(), QStringLiteral("0.9"));
        QCOMPARE(d2.stringValue(kSettingVersionKey), QStringLiteral("1.0.0"));
    }

    void saveStoresWholeNumbersAndRemovesNil() {
        s.loadSettings();
        s.setAdReappearInteval(90.7);
        s.setAdShowTime(-3.9);
        s.setAdUpdateIntevalSlow(2.5);  // a plain double keeps its fraction
        s.setAuthUserName(QStringLiteral("han.meimei"));
        s.saveSettings();
        env_->restart();
        UserDefaults& d = UserDefaults::standard();
        QCOMPARE(d.doubleValue(QStringLiteral("AdReappear")), 90.0);
        QCOMPARE(d.doubleValue(QStringLiteral("AdShowDate")), -3.0);
        QCOMPARE(d.doubleValue(QStringLiteral("default_key_ads_refresh_slow")), 2.5);
        s.resetForTesting();
        s.loadSettings();
        QCOMPARE(s.adReappearInteval(), 90.0);
        QCOMPARE(s.authUserName(), QStringLiteral("han.meimei"));

        s.setAuthUserName(QString());
        s.saveSettings();
        QVERIFY(!d.contains(QStringLiteral("kAuthUserName")));
    }

    void queryLanguageWritesThroughOnlyOnChange() {
        s.loadSettings();
        WriteRecorder rec;
        s.setQueryLanguage(0);
        QVERIFY(rec.keys().isEmpty());
        s.setQueryLanguage(3);
        QCOMPARE(rec.keys(), QStringList{kQueryLanguageKey});
        s.setQueryLanguage(3);
        QCOMPARE(rec.keys().size(), 1);
        QCOMPARE(UserDefaults::standard().integerValue(kQueryLanguageKey), 3);
        // Already stored, so a save does not write it again.
        s.saveSettings();
        QCOMPARE(rec.keys().count(kQueryLanguageKey), 1);
    }

    // The word book writes these keys itself; a save of unrelated changes
    // must not put the values loaded earlier back over them.
    void saveKeepsKeysWrittenDirectlySinceLoad() {
        UserDefaults& d = UserDefaults::standard();
        d.setValue(QStringLiteral("kSyncWordNum"), 5);
        d.setValue(kCurrentUserKey, QStringLiteral("old"));
        s.loadSettings();
        d.setValue(kSyncWordNumKey, 99);
        d.setValue(kSyncWordTimeKey, 1234.5);
        d.setValue(kLastLoginUserKey, QStringLiteral("wb-user"));
        d.setValue(kCurrentUserKey, QStringLiteral("new"));
        s.setUserImageUrl(QStringLiteral("http://img/a.png"));
        s.saveSettings();
        QCOMPARE(d.integerValue(kSyncWordNumKey), 99);
        QCOMPARE(d.doubleValue(kSyncWordTimeKey), 1234.5);
        QCOMPARE(d.stringValue(kLastLoginUserKey), QStringLiteral("wb-user"));
        QCOMPARE(d.stringValue(kCurrentUserKey), QStringLiteral("new"));
        QCOMPARE(d.stringValue(QStringLiteral("kImageUrl")), QStringLiteral("http://img/a.png"));

        // What the settings did change still wins, and only once per change.
        s.setSyncWordNum(100);
        s.saveSettings();
        QCOMPARE(d.integerValue(kSyncWordNumKey), 100);
        d.setValue(kSyncWordNumKey, 101);
        s.saveSettings();
        QCOMPARE(d.integerValue(kSyncWordNumKey), 101);
    }

    void loadTimeChangesAreSavedOnce() {
        UserDefaults& d = UserDefaults::standard();
        d.setValue(QStringLiteral("kAuthUserName"), QStringLiteral("li.lei"));
        d.setValue(QStringLiteral("default_key_event_count_to_rate"), 3);
        s.loadSettings();
        s.saveSettings();
        QCOMPARE(d.stringValue(kLastLoginUserKey), QStringLiteral("li.lei"));
        QCOMPARE(d.integerValue(QStringLiteral("default_key_event_count_to_rate")), 10);
    }

    // Auto-login fills the settings on a worker thread while the main thread
    // reads them; every read must see a whole value.
    void concurrentWritesAndReadsStayConsistent() {
        s.loadSettings();
        std::atomic<bool> stop{false};
        QThread* writer = QThread::create([&] {
            for (int i = 0; i < 5000; ++i) {
                s.setAuthUserName(i % 2 ? QStringLiteral("aaaaaaaaaaaaaaaa") : QStringLiteral("bbbbbbbbbbbbbbbb"));
                s.setSyncWordNum(i);
            }
            stop = true;
        });
        writer->start();
        int reads = 0;
        while (!stop) {
            const QString name = s.authUserName();
            QVERIFY(name.isNull() || name == QStringLiteral("aaaaaaaaaaaaaaaa") ||
                    name == QStringLiteral("bbbbbbbbbbbbbbbb"));
            ++reads;
        }
        writer->wait();
        delete writer;
        QCOMPARE(s.syncWordNum(), 4999);
        QVERIFY(reads > 0);
    }

    void saveFromWorkerThreadLandsOnMainThread() {
        s.loadSettings();
        s.setAuthUserId(QStringLiteral("u-1"));
        QThread* caller = nullptr;
        auto conn = QObject::connect(&UserDefaults::standard(), &UserDefaults::changed,
                                     [&caller](const QString&) { caller = QThread::currentThread(); });
        QThread* worker = QThread::create([this] { s.saveSettings(); });
        worker->start();
        worker->wait();
        delete worker;
        QTRY_COMPARE(UserDefaults::standard().stringValue(QStringLiteral("kAuthUserId")), QStringLiteral("u-1"));
        QCOMPARE(caller, QThread::currentThread());
        QObject::disconnect(conn);
    }
};

QTEST_GUILESS_MAIN(DictSettingsTest)
#include "tst_dict_settings.moc"
