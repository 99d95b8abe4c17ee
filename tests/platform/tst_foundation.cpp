#include "platform/BundleInfo.h"
#include "platform/Reachability.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DeviceHelper.h"
#include "query/DictUtils.h"
#include "query/MirvokFileManager.h"
#include "platform/ServiceHost.h"
#include "query/SideBarItemModel.h"
#include "query/StartAppControl.h"
#include "query/StringAdditions.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QNetworkInformation>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {
void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}
}  // namespace

class FoundationTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;

private Q_SLOTS:
    void init() { env_ = std::make_unique<TestEnv>(); }
    void cleanup() {
        DeviceHelper::setFileRootForTesting(QString());
        env_.reset();
    }

    void bundleInformationFromTheShippedPropertyList() {
        QCOMPARE(BundleInfo::identifier(), QStringLiteral("com.mirvok.dict"));
        QVERIFY(!appShortVersion().isEmpty());
        bool ok = false;
        BundleInfo::buildVersion().toInt(&ok);
        QVERIFY(ok);
        QCOMPARE(BundleInfo::vendorChannel(), QStringLiteral("mirvok-linux"));
    }

    void propertyListParserReadsNestedAndBrokenInput() {
        const QByteArray xml =
            "<plist><dict><key>A</key><string>x &amp; y</string>"
            "<key>N</key><dict><key>A</key><string>inner</string></dict>"
            "<key>L</key><array><string>e</string></array>"
            "<key>I</key><integer>12</integer><key>T</key><true/>"
            "<key>Cut</key><string>unterminated";
        const QVariantMap m = BundleInfo::parsePropertyList(xml);
        QCOMPARE(m.value("A").toString(), QStringLiteral("x & y"));
        QCOMPARE(m.value("N").toMap().value("A").toString(), QStringLiteral("inner"));
        QCOMPARE(m.value("L").toList(), QVariantList{QStringLiteral("e")});
        QCOMPARE(m.value("I").toLongLong(), 12);
        QCOMPARE(m.value("T").toBool(), true);
        QVERIFY(BundleInfo::parsePropertyList("not xml at all").isEmpty());
    }

    void serviceHostsFollowTheSetting() {
        QCOMPARE(serviceBaseUrl(), QStringLiteral("http://dict.mirvok.example"));
        QCOMPARE(webSiteBaseUrl(), QStringLiteral("http://www.mirvok.example"));
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:8080"));
        QCOMPARE(serviceBaseUrl(), QStringLiteral("http://127.0.0.1:8080"));
        UserDefaults::standard().setValue(MVWebSiteHost, QStringLiteral(" http://site.test/ "));
        QCOMPARE(webSiteBaseUrl(), QStringLiteral("http://site.test"));
    }

    void dataFolderIsCreatedUnderTheDataHome() {
        QDir(env_->dataHome()).removeRecursively();  // a fresh account may lack it
        const QString dir = MirvokFileManager::getMVLibraryDir();
        QCOMPARE(dir, env_->dataHome() + QStringLiteral("/com.mirvok.dict/"));
        QVERIFY(QFileInfo(dir).isDir());
        QVERIFY(MirvokFileManager::checkFileExists(dir));
        QVERIFY(!MirvokFileManager::checkFileExists(QString()));
        QVERIFY(!MirvokFileManager::checkFileExists(dir + QStringLiteral("history.db")));
    }

    void deviceInformationFromReadableSources() {
        const QString root = env_->root() + QStringLiteral("/fs");
        writeFile(root + "/sys/class/dmi/id/product_serial", "PF2ABC12\n");
        writeFile(root + "/sys/class/dmi/id/product_name", "ThinkPad X1 Carbon\n");
        writeFile(root + "/etc/machine-id", "0123456789abcdef0123456789abcdef\n");
        writeFile(root + "/etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                            "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
        DeviceHelper::setFileRootForTesting(root);
        QCOMPARE(DeviceHelper::serialNumber(), QStringLiteral("PF2ABC12"));
        QCOMPARE(DeviceHelper::model(), QStringLiteral("ThinkPad X1 Carbon"));
        QCOMPARE(DeviceHelper::systemVersion(), QStringLiteral("Debian GNU/Linux 12.0.0"));
    }

    // /sys/class/dmi is root-only or absent on many machines and containers.
    void deviceInformationFallbacks() {
        const QString root = env_->root() + QStringLiteral("/fs");
        writeFile(root + "/etc/machine-id", "0123456789abcdef0123456789abcdef\n");
        writeFile(root + "/sys/class/dmi/id/product_name", "\n");
        DeviceHelper::setFileRootForTesting(root);
        QCOMPARE(DeviceHelper::serialNumber(), QStringLiteral("0123456789abcdef0123456789abcdef"));
        QCOMPARE(DeviceHelper::model(), DeviceHelper::unknownModel());
        QVERIFY(DeviceHelper::systemVersion().startsWith(QStringLiteral("Linux ")));

        writeFile(root + "/sys/class/dmi/id/product_serial", "To Be Filled By O.E.M.\n");
        QCOMPARE(DeviceHelper::serialNumber(), QStringLiteral("0123456789abcdef0123456789abcdef"));
        QFile::remove(root + "/etc/machine-id");
        QVERIFY(DeviceHelper::serialNumber().isNull());

        QCOMPARE(DeviceHelper::versionFromKernelRelease("6.1.0-18-amd64"), QStringLiteral("Linux 6.1.0"));
        QCOMPARE(DeviceHelper::versionFromKernelRelease("garbage"), QStringLiteral("Linux 0.0.0"));
        QCOMPARE(DeviceHelper::versionFromOsRelease("NAME=Arch\nVERSION_ID=2024.01.15\n"),
                 QStringLiteral("Arch 2024.1.15"));
        QVERIFY(DeviceHelper::versionFromOsRelease("NAME=Arch\n").isEmpty());  // rolling: no number

        QCOMPARE(DeviceHelper::formatHardwareAddress(QByteArray::fromHex("0a1b2c3d4e5f")),
                 QStringLiteral("0A:1B:2C:3D:4E:5F"));
        QVERIFY(DeviceHelper::formatHardwareAddress(QByteArray(6, '\0')).isNull());
        QVERIFY(DeviceHelper::formatHardwareAddress(QByteArray::fromHex("0a1b")).isNull());
        const QString mac = DeviceHelper::macID();
        QVERIFY(mac.isNull() || QRegularExpression("^([0-9A-F]{2}:){5}[0-9A-F]{2}$").match(mac).hasMatch());
    }

    void truncateScreenWords_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("numbered line") << "12. apple pie" << "apple";
        QTest::newRow("plain text unchanged") << "apple pie" << "apple pie";
        QTest::newRow("number without word") << "12. " << "12. ";
        QTest::newRow("no space after dot") << "1.5 apples" << "1.5 apples";
    }
    void truncateScreenWords() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(DictUtils::truncateScreenWords(in), out);
    }

    void emptyTextAndDistance() {
        QVERIFY(mvstring::isEmpty(QStringLiteral("   \n")));
        QVERIFY(mvstring::isEmpty(QString()));
        QVERIFY(mvstring::isEmpty(QStringLiteral("")));
        QVERIFY(!mvstring::isEmpty(QStringLiteral(" a ")));
        QVERIFY(DictUtils::truncateScreenWords(QString()).isNull());
        QCOMPARE(pointDistance({0, 0}, {3, 4}), 5.0f);
        QCOMPARE(DictUtils::getToday(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    }

    void modifierSettingTable_data() {
        QTest::addColumn<qint64>("setting");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("down");
        const int none = Qt::NoModifier, ctrl = Qt::ControlModifier, meta = Qt::MetaModifier,
                  alt = Qt::AltModifier, shift = Qt::ShiftModifier;
        QTest::newRow("0 needs nothing") << qint64(0) << none << true;
        QTest::newRow("unknown needs nothing") << qint64(9) << none << true;
        QTest::newRow("negative needs nothing") << qint64(-1) << none << true;
        QTest::newRow("Command is Ctrl") << qint64(1) << ctrl << true;
        QTest::newRow("Command not held") << qint64(1) << (alt | shift) << false;
        QTest::newRow("Control is Super") << qint64(2) << meta << true;
        QTest::newRow("Control is not Ctrl") << qint64(2) << ctrl << false;
        QTest::newRow("Option is Alt") << qint64(3) << (alt | ctrl) << true;
        QTest::newRow("Shift") << qint64(4) << shift << true;
        QTest::newRow("Shift not held") << qint64(4) << meta << false;
    }
    void modifierSettingTable() {
        QFETCH(qint64, setting);
        QFETCH(int, held);
        QFETCH(bool, down);
        QCOMPARE(screenTransModifierSatisfied(setting, Qt::KeyboardModifiers(held)), down);
    }

    void missingModifierSettingIsAlwaysDown() {
        QVERIFY(isScreenTransModifierDown());
        UserDefaults::standard().setValue(ScreenTransModifier, 4);
        QVERIFY(!isScreenTransModifierDown());  // no keyboard here: nothing held
    }

    void launchAtLoginEntry() {
        const QString app = env_->root() + QStringLiteral("/bin dir/mir\"vok$%");
        writeFile(app, "#!/bin/sh\n");
        QVERIFY(!StartAppControl::willStartAtLogin(app));
        QVERIFY(StartAppControl::setStartAtLogin(app, true));
        QCOMPARE(StartAppControl::autostartFile(), env_->configHome() + QStringLiteral("/autostart/mirvok.desktop"));
        QVERIFY(StartAppControl::willStartAtLogin(app));
        QVERIFY(!StartAppControl::willStartAtLogin(env_->root() + QStringLiteral("/other")));
        QCOMPARE(StartAppControl::programOfExecLine(StartAppControl::execLine(app)), app);

        // Switched off by the desktop's own settings: not starting.
        QFile f(StartAppControl::autostartFile());
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hidden=true\n");
        f.close();
        QVERIFY(!StartAppControl::willStartAtLogin(app));
        QVERIFY(StartAppControl::setStartAtLogin(app, true));  // rewritten enabled
        QVERIFY(StartAppControl::willStartAtLogin(app));

        QVERIFY(StartAppControl::setStartAtLogin(app, false));
        QVERIFY(!QFile::exists(StartAppControl::autostartFile()));
        QVERIFY(StartAppControl::setStartAtLogin(app, false));
        QCOMPARE(StartAppControl::programOfExecLine("/usr/bin/mirvok --hidden %U"), QStringLiteral("/usr/bin/mirvok"));
    }

    // The entry is named and drawn as the launcher is, and an entry whose
    // program is gone (a deleted build tree, an old prefix) runs the one
    // started now; one the user switched off stays off.
    void launchAtLoginFollowsTheProgramStarted() {
        const QString old = env_->root() + QStringLiteral("/build/bin/mirvok");
        const QString installed = env_->root() + QStringLiteral("/usr/bin/mirvok");
        for (const QString& p : {old, installed}) {
            writeFile(p, "#!/bin/sh\n");
            QFile::setPermissions(p, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QVERIFY(StartAppControl::setStartAtLogin(old, true));
        QCOMPARE(QFile::permissions(StartAppControl::autostartFile()) & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QSettings entry(StartAppControl::autostartFile(), QSettings::IniFormat);
        QSettings launcher(QStringLiteral(MIRVOK_SOURCE_RESOURCES_DIR "/../desktop/com.mirvok.Dict.desktop.in"),
                           QSettings::IniFormat);
        for (const char* key : {"Name", "Name[en]", "Icon"}) {
            const QString k = QStringLiteral("Desktop Entry/") + QLatin1String(key);
            QVERIFY(!launcher.value(k).toString().isEmpty());
            QCOMPARE(entry.value(k).toString(), launcher.value(k).toString());
        }

        QVERIFY(!StartAppControl::repairAtStart(installed));  // still there: left alone
        QVERIFY(StartAppControl::willStartAtLogin(old));
        QFile::remove(old);
        QVERIFY(StartAppControl::repairAtStart(installed));
        QVERIFY(StartAppControl::willStartAtLogin(installed));

        QFile f(StartAppControl::autostartFile());
        QVERIFY(f.open(QIODevice::Append));
        f.write("X-GNOME-Autostart-enabled=false\n");
        f.close();
        QFile::remove(installed);
        QVERIFY(!StartAppControl::repairAtStart(old));
        QVERIFY(!StartAppControl::willStartAtLogin(old));
    }

    void reachabilityChangesAreSignalledAndPosted() {
        auto owned = std::make_unique<FakeReachability>(false);
        FakeReachability* fake = owned.get();
        Reachability::setShared(std::move(owned));
        QCOMPARE(Reachability::shared(), fake);
        int posted = 0;
        QObject ctx;
        NotificationCenter::defaultCenter().addObserver(Reachability::kChangedNotification, &ctx,
                                                        [&](const Notification&) { ++posted; });
        QSignalSpy spy(fake, &Reachability::reachabilityChanged);
        fake->setReachable(true);
        fake->setReachable(true);
        fake->setReachable(false);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(posted, 2);
        QVERIFY(!fake->isReachable());
        Reachability::setShared(nullptr);
    }

    void networkProbeResolvesTheServiceHost() {
        // An address needs no DNS and the probe starts from "reachable".
        NetworkReachability literal([] { return QStringLiteral("127.0.0.1:8080"); }, 0);
        QVERIFY(literal.isReachable() || QNetworkInformation::instance());
        QTRY_VERIFY(literal.isReachable());
        // A name that cannot resolve (reserved .invalid) turns it off.
        NetworkReachability bogus([] { return QStringLiteral("no-such-host.invalid"); }, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!bogus.isReachable(), 15000);
        NetworkReachability empty([] { return QString(); }, 0);
        QTRY_VERIFY(!empty.isReachable());
    }

    void sideBarFlagsSignalOnlyOnChange() {
        SideBarItemModel& m = SideBarItemModel::sharedInstance();
        QSignalSpy spy(&m, &SideBarItemModel::hasBaikeChanged);
        m.setHasBaike(QStringLiteral(" "));
        m.setHasBaike(QStringLiteral(" "));
        m.setHasBaike(QString());
        QCOMPARE(spy.count(), 2);
        QVERIFY(m.hasBaike().isNull());
        QCOMPARE(&SideBarItemModel::sharedInstance(), &m);
    }
};

QTEST_GUILESS_MAIN(FoundationTest)
#include "tst_foundation.moc"
