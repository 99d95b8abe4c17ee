#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "CrashReportFixture.h"
#include "CrashTestUtil.h"
#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKPackageReportOperation.h"
#include "support/TestEnv.h"

class TestCrashPackage : public QObject {
    Q_OBJECT
private slots:
    void partsInOrderWithFieldNames();
    void emptyFolderStillCloses();
    void interruptedPackagingLeavesNothingVisible();
};

namespace {
struct Part {
    QByteArray head, body;
};
// Splits a multipart body by its boundary, as the format's text says.
QList<Part> splitParts(const QByteArray& body, const QByteArray& boundary, bool* closed)
{
    QList<Part> parts;
    const QByteArray delimiter = "--" + boundary;
    const QList<QByteArray> chunks = body.split('\n');
    Q_UNUSED(chunks);
    qsizetype at = body.indexOf(delimiter + "\r\n");
    while (at >= 0) {
        const qsizetype start = at + delimiter.size() + 2;
        const qsizetype next = body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break;
        const qsizetype split = body.indexOf("\r\n\r\n", start);
        parts.append({body.mid(start, split - start), body.mid(split + 4, next - split - 4)});
        at = body.mid(next + 2, delimiter.size() + 2) == delimiter + "\r\n" ? next + 2 : -1;
        if (at < 0)
            *closed = body.mid(next + 2) == delimiter + "--\r\n";
    }
    return parts;
}
}  // namespace

void TestCrashPackage::partsInOrderWithFieldNames()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    QVERIFY(fm->prepareForNewLaunch());
    const QString folder = makeCrashReportFolder(fm->processingPath(), "r1", {"signal.crkrecord", "signal.crkrecord.symbolicated", "sdk.log"});
    writeCrashFile(folder + "/old.crkrecord.gz", "left over");
    writeCrashFile(folder + "/.lock", "");
    CRKPackageReportOperation op(CRKInternalReport::reportWithPath(folder), fm);
    op.main();
    QVERIFY(!op.finalPath().isEmpty());
    const QString name = QFileInfo(op.finalPath()).fileName();
    QVERIFY(name.endsWith(".multipartmime"));
    QFile f(op.finalPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    bool closed = false;
    const QList<Part> parts = splitParts(f.readAll(), name.chopped(14).toUtf8(), &closed);
    QVERIFY(closed);
    QStringList heads;
    for (const Part& p : parts)
        heads << QString::fromUtf8(p.head.left(p.head.indexOf("\r\n")));
    QCOMPARE(heads, QStringList({
                        "Content-Disposition: form-data; name=\"api_key\"",
                        "Content-Disposition: form-data; name=\"report_id\"",
                        "Content-Disposition: form-data; name=\"binary_images\"; filename=\"binary_images.crkrecord.gz\"",
                        "Content-Disposition: form-data; name=\"metadata\"; filename=\"metadata.crkrecord.gz\"",
                        "Content-Disposition: form-data; name=\"sdk\"; filename=\"sdk.log.gz\"",
                        "Content-Disposition: form-data; name=\"signal\"; filename=\"signal.crkrecord.gz\"",
                        "Content-Disposition: form-data; name=\"signal.crkrecord\"; filename=\"signal.crkrecord.symbolicated.gz\"",
                    }));
    QCOMPARE(parts[0].body, QByteArray("key-1"));
    QCOMPARE(parts[1].body, QByteArray("r1"));
    QVERIFY(parts[5].head.contains("Content-Type: application/x-gzip"));
    QFile source(folder + "/signal.crkrecord");
    QVERIFY(source.open(QIODevice::ReadOnly));
    QCOMPARE(crashTestGunzip(parts[5].body), source.readAll());
    // A second package of the same report gets a name of its own.
    CRKPackageReportOperation again(CRKInternalReport::reportWithPath(folder), fm);
    again.main();
    QVERIFY(!again.finalPath().isEmpty() && again.finalPath() != op.finalPath());
}

void TestCrashPackage::emptyFolderStillCloses()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    QVERIFY(fm->prepareForNewLaunch());
    QDir().mkpath(fm->processingPath() + "/empty");
    CRKPackageReportOperation op(CRKInternalReport::create(fm->processingPath() + "/empty", "empty"), fm);
    op.main();
    QFile f(op.finalPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray body = f.readAll();
    const QByteArray boundary = QFileInfo(op.finalPath()).fileName().chopped(14).toUtf8();
    QVERIFY(body.startsWith("MIME-Version: 1.0\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"report_id\"\r\n"));
    QVERIFY(body.endsWith("--" + boundary + "--\r\n"));
}

void TestCrashPackage::interruptedPackagingLeavesNothingVisible()
{
    TestEnv env;
    auto fm = std::make_shared<CRKFileManager>();
    QVERIFY(fm->prepareForNewLaunch());
    const QString folder = makeCrashReportFolder(fm->processingPath(), "r2", {"signal.crkrecord"});
    CRKPackageReportOperation op(CRKInternalReport::reportWithPath(folder), fm);
    op.cancel();
    op.main();
    QVERIFY(op.finalPath().isNull());
    QVERIFY(QDir(fm->preparedPath()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // What a kill mid-write leaves is hidden, and gone at the next start.
    writeCrashFile(fm->preparedPath() + "/.0A1B.part", "--0A1B\r\nContent-Disp");
    QVERIFY(fm->preparedPathContents().isEmpty());
    // ... unless another instance is writing it right now.
    writeCrashFile(fm->preparedPath() + "/.0C0D.part", "--0C0D\r\n");
    CrashLockHolder writer(fm->preparedPath() + "/.0C0D.part");
    QVERIFY(writer.held());
    fm->removeStalePartialPackages();
    QCOMPARE(QDir(fm->preparedPath()).entryList(QDir::Files | QDir::Hidden), QStringList{".0C0D.part"});
}

QTEST_GUILESS_MAIN(TestCrashPackage)
#include "tst_crash_package.moc"
