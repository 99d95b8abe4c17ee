#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QThread>
#include <QtTest>

#include "kithost/KTHApplicationIdentiferModel.h"
#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHKit.h"
#include "kithost/KitHost.h"
#include "platform/CRKUserDefaults.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/TestEnv.h"

namespace {

QVariantMap validInfo()
{
    return {{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.mirvok.dict")},
            {QStringLiteral("KitHost"),
             QVariantMap{{QStringLiteral("APIKey"), QStringLiteral("test-key")},
                         {QStringLiteral("Kits"),
                          QVariantList{QVariantMap{{QStringLiteral("KitName"), QStringLiteral("CrashKit")},
                                                   {QStringLiteral("KitInfo"), QVariantMap{{"a", 1}}},
                                                   {QStringLiteral("ObfuscatedKitInfo"),
                                                    QVariantMap{{"a", 0}, {"b", 2}}}}}}}}};
}

QString reasonOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const KTHException& e) {
        return e.reason();
    }
    return QString();
}

}  // namespace

class TestKitHostIdentity : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void misconfigurationThrowsWithItsReason();
    void kitListStartsEachKitOnce();
    void installUUIDSurvivesARestart();
    void takeOverDeletesOnlyAfterAWrite();
    void damagedStoreIsMovedAside();
    void concurrentSynchronizeWritesWholeFiles();
    void propertyListRoundTripAndHostileInput();
    void instanceIdentifierOfAFatExecutable();
    void hostAndApplicationValues();

private:
    std::unique_ptr<TestEnv> env_;
};

void TestKitHostIdentity::init()
{
    env_ = std::make_unique<TestEnv>();
    // No real network: start-up downloads go to a closed port.
    qputenv("SettingsEndpoint", "http://127.0.0.1:1");
    qputenv("ConfigureEndpoint", "http://127.0.0.1:1");
    KitHost::resetForTesting();
    KTHKitRegistry::unregisterAllKits();
    KitHost::setInfoDictionaryForTesting(validInfo());
}

void TestKitHostIdentity::cleanup()
{
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(std::nullopt);
    KTHKitRegistry::unregisterAllKits();
    env_.reset();
}

void TestKitHostIdentity::misconfigurationThrowsWithItsReason()
{
    const QList<QPair<QVariantMap, QString>> cases = {
        {{}, QStringLiteral("[KitHost] Cannot find Info.plist.")},
        {{{"CFBundleName", "x"}}, QStringLiteral("[KitHost] Value of Info.plist key \"KitHost\" must be a NSDictionary.")},
        {{{"KitHost", "x"}}, QStringLiteral("[KitHost] Value of Info.plist key \"KitHost\" must be a NSDictionary.")},
        {{{"KitHost", QVariantMap{{"Kits", QVariantList{}}}}},
         QStringLiteral("[KitHost] Value of Info.plist[KitHost][APIKey] must contain your KitHost API Key.")},
    };
    for (const auto& [info, reason] : cases) {
        KitHost::resetForTesting();
        KitHost::setInfoDictionaryForTesting(info);
        QCOMPARE(reasonOf([] { KitHost::with({}); }), reason);
        // The guard has fired: a later call neither throws nor starts.
        QCOMPARE(reasonOf([] { KitHost::with({}); }), QString());
    }
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(validInfo());
    QCOMPARE(reasonOf([] { KitHost::with({QStringLiteral("NotAKit")}); }),
             QStringLiteral("[KitHost] It appears that \"NotAKit\" is not a valid KitHost Kit. Please make sure you "
                            "only pass KitHost Kits to [KitHost with:]."));
    // A key set in code needs no Info.plist block.
    KitHost::resetForTesting();
    KitHost::setInfoDictionaryForTesting(QVariantMap{});
    KitHost::sharedSDK().setAPIKey(QStringLiteral("from-code"));
    QCOMPARE(reasonOf([] { KitHost::with({}); }), QString());
}

void TestKitHostIdentity::kitListStartsEachKitOnce()
{
    QStringList started;
    KTHKitDescriptor crash;
    crash.className = QStringLiteral("CrashKit");
    crash.bundleIdentifier = QStringLiteral("com.kitvendor.crashkit.mac");
    crash.kitDisplayVersion = QStringLiteral("3.4.1");
    crash.initializeIfNeeded = [&] { started << QStringLiteral("CrashKit"); };
    KTHKitDescriptor tally = crash;
    tally.className = QStringLiteral("Tally");
    tally.bundleIdentifier = QStringLiteral("com.kitvendor.tally.mac");
    tally.initializeIfNeeded = [&] { started << QStringLiteral("Tally"); };
    KTHKitDescriptor legacy;
    legacy.className = QStringLiteral("OldKit");
    legacy.adoptsKTHKit = false;
    legacy.hasSharedInstance = true;
    legacy.start = [&] { started << QStringLiteral("OldKit"); };
    legacy.instanceBundleIdentifier = [] { return QStringLiteral("com.old.kit"); };
    legacy.instanceVersion = [] { return QStringLiteral("0.9"); };
    KTHKitRegistry::registerKit(crash);
    KTHKitRegistry::registerKit(tally);
    KTHKitRegistry::registerKit(legacy);

    KitHost& host = KitHost::with({QStringLiteral("CrashKit"), QStringLiteral("OldKit")});
    QCOMPARE(host.kitClasses(), (QStringList{"CrashKit", "OldKit", "Tally"}));
    QCOMPARE(started, (QStringList{"CrashKit", "OldKit", "Tally"}));
    const QVariantMap versions = host.kitVersionsByKitBundleIdentifier();
    QCOMPARE(versions.value("io.kithost.sdk.mac").toString(), QStringLiteral("1.6.1"));
    QCOMPARE(versions.value("com.old.kit").toString(), QStringLiteral("0.9"));
    QCOMPARE(versions.size(), 4);
    QCOMPARE(KitHost::configurationDictionaryForKitClass(QStringLiteral("CrashKit")).value(),
             (QVariantMap{{"a", 1}, {"b", 2}}));

    // Once per process: a second call with other kits starts nothing.
    KitHost::with({QStringLiteral("Tally")});
    QCOMPARE(started.size(), 3);

    // A legacy kit whose instances lack one of start/bundleIdentifier/version is refused.
    KitHost::resetForTesting();
    legacy.instanceVersion = nullptr;
    KTHKitRegistry::registerKit(legacy);
    QVERIFY(reasonOf([] { KitHost::with({QStringLiteral("OldKit")}); }).contains(QLatin1String("\"OldKit\" is not a valid")));
}

void TestKitHostIdentity::installUUIDSurvivesARestart()
{
    const QString first = KitHost::sharedSDK().installID();
    QVERIFY(KitHost::sharedSDK().isFirstInstall());
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")).match(first).hasMatch());
    const QString exec = KitHost::sharedSDK().executionIdentifier();
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(exec).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(KitHost::sharedSDK().instanceIdentifier()).hasMatch());

    env_->restart();
    KitHost::resetForTesting();
    QCOMPARE(KitHost::sharedSDK().installID(), first);
    QVERIFY(!KitHost::sharedSDK().isFirstInstall());
    QVERIFY(KitHost::sharedSDK().executionIdentifier() != exec);
}

void TestKitHostIdentity::takeOverDeletesOnlyAfterAWrite()
{
    const QString key = QStringLiteral("com.crashkit.iuuid");
    const QString old = QStringLiteral("11111111-2222-3333-4444-555555555555");
    // The store's folder cannot be made: the value is used but stays where it was.
    QFile blocker(env_->dataHome() + QStringLiteral("/com.crashkit"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    UserDefaults::standard().setValue(key, old);
    QCOMPARE(KitHost::sharedSDK().installID(), old);
    QVERIFY(!KitHost::sharedSDK().isFirstInstall());
    QVERIFY(UserDefaults::standard().contains(key));

    QVERIFY(QFile::remove(blocker.fileName()));
    env_->restart();
    KitHost::resetForTesting();
    QCOMPARE(KitHost::sharedSDK().installID(), old);
    QVERIFY(!UserDefaults::standard().contains(key));
    QFile store(CRKUserDefaults::standardUserDefaults().filePath());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(PropertyList::parse(store.readAll()).toMap().value(key).toString(), old);
}

void TestKitHostIdentity::damagedStoreIsMovedAside()
{
    const QString path = CRKUserDefaults::standardUserDefaults().filePath();
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<plist><dict><key>com.crashkit.iuuid</key><string>AB");
    f.close();
    CRKUserDefaults::resetStandardUserDefaults();
    CRKUserDefaults& d = CRKUserDefaults::standardUserDefaults();
    QVERIFY(d.dictionaryRepresentation().isEmpty());
    QVERIFY(QFile::exists(path + QStringLiteral(".bad")));
    QVERIFY(d.synchronize());

    // A folder where the file belongs is removed and the store starts empty.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir().mkpath(path + QStringLiteral("/inner")));
    CRKUserDefaults::resetStandardUserDefaults();
    QVERIFY(CRKUserDefaults::standardUserDefaults().dictionaryRepresentation().isEmpty());
    QVERIFY(!QFileInfo(path).isDir());

    CRKUserDefaults::standardUserDefaults().setObject(5, QStringLiteral("n"));
    QVERIFY(CRKUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("n")).isNull());
    CRKUserDefaults::standardUserDefaults().setString(QStringLiteral("yes"), QStringLiteral("s"));
    QVERIFY(!CRKUserDefaults::standardUserDefaults().boolForKey(QStringLiteral("s")));
}

void TestKitHostIdentity::concurrentSynchronizeWritesWholeFiles()
{
    CRKUserDefaults& d = CRKUserDefaults::standardUserDefaults();
    QList<QThread*> threads;
    for (int t = 0; t < 8; ++t) {
        threads << QThread::create([&d, t] {
            for (int i = 0; i < 20; ++i) {
                d.setObject(QByteArray(2000, char('a' + t)), QStringLiteral("k%1-%2").arg(t).arg(i));
                d.synchronize();
            }
        });
        threads.last()->start();
    }
    for (QThread* t : threads) {
        QVERIFY(t->wait(30000));
        delete t;
    }
    QFile f(d.filePath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    bool ok = false;
    const QVariantMap m = PropertyList::parse(f.readAll(), &ok).toMap();
    QVERIFY(ok);
    QCOMPARE(m.size(), 160);
    QCOMPARE(m.value(QStringLiteral("k7-19")).toByteArray(), QByteArray(2000, 'h'));
}

void TestKitHostIdentity::propertyListRoundTripAndHostileInput()
{
    const QVariantMap value{{"s", QStringLiteral("a<&>\"b 中文")},
                            {"i", qlonglong(-42)},
                            {"u", qulonglong(18446744073709551615ull)},
                            {"r", 2.5},
                            {"t", true},
                            {"f", false},
                            {"d", QByteArray("\x00\x01\xff", 3)},
                            {"when", QDateTime(QDate(2026, 12, 9), QTime(9, 0), Qt::UTC)},
                            {"list", QVariantList{1, QStringLiteral("x"), QVariantMap{{"deep", 1}}}}};
    bool ok = false;
    QCOMPARE(PropertyList::parse(PropertyList::serialize(value), &ok).toMap(), value);
    QVERIFY(ok);

    // Written as the format's own text, not by our writer.
    const QByteArray text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>KitHost</key>\n\t<dict>\n\t\t<key>APIKey</key>\n\t\t<string>k</string>\n"
        "\t\t<key>Kits</key>\n\t\t<array>\n\t\t\t<dict><key>KitName</key><string>CrashKit</string></dict>\n"
        "\t\t</array>\n\t</dict>\n\t<key>blob</key>\n\t<data>\n\tAAEC\n\t</data>\n"
        "\t<key>at</key><date>2020-05-30T10:48:38Z</date>\n</dict>\n</plist>\n";
    const QVariantMap m = PropertyList::parse(text, &ok).toMap();
    QVERIFY(ok);
    QCOMPARE(m.value("KitHost").toMap().value("Kits").toList().value(0).toMap().value("KitName").toString(),
             QStringLiteral("CrashKit"));
    QCOMPARE(m.value("blob").toByteArray(), QByteArray("\x00\x01\x02", 3));
    QCOMPARE(m.value("at").toDateTime(), QDateTime(QDate(2020, 5, 30), QTime(10, 48, 38), Qt::UTC));

    QByteArray deep = "<plist>";
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    PropertyList::parse(deep, &ok);
    QVERIFY(!ok);
    PropertyList::parse("<plist><dict><key>a</key><integer>x</integer>", &ok);
    QVERIFY(!ok);
}

void TestKitHostIdentity::instanceIdentifierOfAFatExecutable()
{
    // The oracle's UUIDs, keys sorted: arm64, arm64_32, armv7, armv7k, armv7s, x86_64.
    QFile dump(QStringLiteral(MACHO_FIXTURES "/fat.objdump"));
    QVERIFY(dump.open(QIODevice::ReadOnly));
    QMap<QString, QString> uuids;
    QString arch;
    static const QRegularExpression archLine(QStringLiteral("\\(architecture (\\S+)\\):$"));
    for (const QString& raw : QString::fromLatin1(dump.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const auto m = archLine.match(line);
        if (m.hasMatch())
            arch = m.captured(1);
        else if (line.startsWith(QLatin1String("uuid ")))
            uuids[arch] = line.mid(5).remove(QLatin1Char('-')).toLower();
    }
    QCOMPARE(uuids.size(), 6);
    QString joined;
    for (const QString& u : uuids)
        joined += u;
    auto model = KTHApplicationIdentiferModel::createForExecutable(QStringLiteral("X"), QStringLiteral(MACHO_FIXTURES "/fat"));
    QVERIFY(model);
    QCOMPARE(model->architectureUUIDMap(), uuids);
    QCOMPARE(model->instanceIdentifier(),
             QString::fromLatin1(QCryptographicHash::hash(joined.toUtf8(), QCryptographicHash::Sha1).toHex()));
    QCOMPARE(model->minimumSDKString(), QStringLiteral("9.0.0"));   // the last LC_VERSION_MIN slice wins

    auto none = KTHApplicationIdentiferModel::createForExecutable(QStringLiteral("X"), QStringLiteral(MACHO_FIXTURES "/x86_64.o"));
    QCOMPARE(none->instanceIdentifier(), QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    QVERIFY(!KTHApplicationIdentiferModel::createForExecutable(QStringLiteral("X"), QStringLiteral("/nonexistent")));
}

void TestKitHostIdentity::hostAndApplicationValues()
{
    const QVariantMap both{{"KitHost", QVariantMap{{"ReportIdentifiers", false}}},
                           {"CrashKitCollectDeviceIdentifiers", true}};
    QVERIFY(!KTHApplicationMayReportDeviceIdentifiers(both));
    QVERIFY(KTHApplicationMayReportDeviceIdentifiers(QVariantMap{}));
    QVERIFY(!KTHApplicationMayReportDeviceIdentifiers(QVariantMap{{"CrashKitCollectDeviceIdentifiers", false}}));
    const KTHHostOSVersion v = KTHHostOSVersionFromText(QStringLiteral("12"));
    QCOMPARE(v.major, 12);
    QCOMPARE(v.minor, 0);
    QCOMPARE(KTHHostOSVersionCode(KTHHostOSVersionFromText(QStringLiteral("10.10"))), 101000);
    QCOMPARE(KTHHostOSVersionCode(KTHHostOSVersionFromText(QStringLiteral("22.04"))), 0);
    QCOMPARE(KTHHostOSVersionFromText(QString()).major, 10);
    QCOMPARE(KTHApplicationInstallSource(), 1);
}

QTEST_GUILESS_MAIN(TestKitHostIdentity)
#include "tst_kithost_identity.moc"
