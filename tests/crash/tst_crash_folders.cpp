#include <QDir>
#include <QFile>
#include <QtTest>

#include "CrashReportFixture.h"
#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKRecordReader.h"
#include "support/TestEnv.h"

class TestCrashFolders : public QObject {
    Q_OBJECT
private slots:
    void treeAndHiddenEntries();
    void whatCountsAsSendable();
    void damagedMetadataShiftsButReads();
    void legacyMarkerRemovesTheRoot();
};

void TestCrashFolders::treeAndHiddenEntries()
{
    TestEnv env;
    CRKFileManager fm;
    QCOMPARE(fm.rootPath(), env.cacheHome() + "/com.crashkit.data/com.mirvok.dict");
    QVERIFY(fm.prepareForNewLaunch());
    for (const char* sub : {"active", "processing", "prepared"})
        QVERIFY(QFileInfo(fm.structurePath() + "/" + sub).isDir());
    QVERIFY(!QFileInfo::exists(fm.pendingPath()));
    writeCrashFile(fm.activePath() + "/.hidden", "x");
    writeCrashFile(fm.activePath() + "/b.multipartmime", "x");
    QDir().mkpath(fm.activePath() + "/a");
    QStringList seen;
    fm.enumerateFilesInDirectory(fm.activePath(), [&](const QString& path, const QString& ext) {
        seen << QFileInfo(path).fileName() + "|" + ext;
    });
    QCOMPARE(seen, QStringList({"a|", "b.multipartmime|multipartmime"}));
    QVERIFY(fm.moveItemsFromDirectory(fm.activePath(), fm.processingPath()));
    QCOMPARE(QDir(fm.activePath()).entryList(QDir::Files | QDir::Hidden), QStringList{".hidden"});
    QVERIFY(fm.removeContentsOfAllPaths());
    QVERIFY(fm.processingPathContents().isEmpty());
    QVERIFY(QFile::exists(fm.activePath() + "/.hidden"));
}

void TestCrashFolders::whatCountsAsSendable()
{
    TestEnv env;
    const QString dir = makeCrashReportFolder(env.root(), "r", {"log_a.crkrecord", "sdk.log"});
    auto report = CRKInternalReport::reportWithPath(dir);
    QVERIFY(!report->needsToBeSubmitted());
    writeCrashFile(dir + "/errors_b.crkrecord", "{}\n");
    QVERIFY(report->needsToBeSubmitted());
    QVERIFY(!report->isCrash());
    QFile::remove(dir + "/errors_b.crkrecord");
    // Recorded custom exceptions alone are worth sending, under either A/B name.
    writeCrashFile(dir + "/custon_exception_b.crkrecord", "{}\n");
    QVERIFY(report->needsToBeSubmitted());
    writeCrashFile(dir + "/signal.crkrecord", "{}\n");
    QVERIFY(report->isCrash());
}

void TestCrashFolders::damagedMetadataShiftsButReads()
{
    TestEnv env;
    const QString dir = env.root() + "/m";
    QDir().mkpath(dir);
    // A cut line, a non-object, then the three sections; no final newline.
    writeCrashFile(dir + "/metadata.crkrecord",
                   "{\"identity\":{\"session_id\":\"x\",\"api\n[1,2]\n\xff\xfe\n"
                   "{\"identity\":{\"session_id\":\"abc\",\"api_key\":null,\"started_at\":12}}\n"
                   "{\"host\":{\"os_display_version\":\"12\",\"os_build_version\":\"6.1\"}}\n"
                   "{\"application\":{\"build_version\":\"100\",\"display_version\":\"0.1.0\"}}");
    auto report = CRKInternalReport::reportWithPath(dir);
    QVERIFY(report);
    QCOMPARE(report->identifier(), QStringLiteral("abc"));
    QVERIFY(report->APIKey().isNull());
    QCOMPARE(report->OSBuildVersion(), QStringLiteral("6.1"));
    QCOMPARE(report->bundleShortVersionString(), QStringLiteral("0.1.0"));
    QCOMPARE(report->dateCreated()->toSecsSinceEpoch(), 12);
    QCOMPARE(CRKRecordSectionsFromData("\n\n{}\n{\"a\":1e400}\n").size(), 1);
    QVERIFY(!CRKInternalReport::reportWithPath(env.root() + "/missing"));
}

void TestCrashFolders::legacyMarkerRemovesTheRoot()
{
    TestEnv env;
    CRKFileManager fm;
    QVERIFY(fm.prepareForNewLaunch());
    fm.removeLegacyDirectories();
    QVERIFY(QFileInfo::exists(fm.activePath()));
    writeCrashFile(fm.rootPath() + "/sendable", "");
    fm.removeLegacyDirectories();
    QVERIFY(!QFileInfo::exists(fm.rootPath()));
}

QTEST_GUILESS_MAIN(TestCrashFolders)
#include "tst_crash_folders.moc"
