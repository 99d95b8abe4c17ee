#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <zlib.h>

#include "support/TestEnv.h"
#include "tally/CRKAnalyticsGzip.h"
#include "tally/CRKEventLogEvent.h"

// A process killed while appending leaves a log whose packaged form holds
// only whole lines, each with the length it claims.
class TestTallyDurability : public QObject {
    Q_OBJECT
private slots:
    void killedAppendsPackageWholeLines();
};

namespace {

QByteArray gunzip(const QByteArray& in)
{
    z_stream s {};
    if (inflateInit2(&s, 31) != Z_OK)
        return "inflateInit2 failed";
    QByteArray out;
    QByteArray buf(1 << 16, 0);
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
    return r == Z_STREAM_END ? out : QByteArray("bad gzip stream");
}

}  // namespace

void TestTallyDurability::killedAppendsPackageWholeLines()
{
    TestEnv env;
    const QString path = env.root() + "/2.log";
    int torn = 0;
    for (int k = 0; k < 25; ++k) {
        QFile::remove(path);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QStringLiteral(TALLY_APPEND_CHILD), {path});
        QVERIFY(child.waitForStarted());
        // Killed once a random amount is written, at least one whole record,
        // however slowly the busy machine lets the child start.
        const qint64 target = 1 + QRandomGenerator::global()->bounded(2 << 20);
        QVERIFY2(QTest::qWaitFor([&] {
                     QFile f(path);
                     return f.size() >= target && f.open(QIODevice::ReadOnly)
                            && CRKEventLogReader::wholeRecordsLength(f.readAll()) > 0;
                 }, 30000),
                 "the child wrote no whole record");
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray onDisk = raw.readAll();
        torn += CRKEventLogReader::wholeRecordsLength(onDisk) != onDisk.size();

        QCOMPARE(CRKAnalyticsGzipCompressLogFile(path, path + ".zip"), 0);
        QFile zip(path + ".zip");
        QVERIFY(zip.open(QIODevice::ReadOnly));
        const QByteArray lines = gunzip(zip.readAll());
        qint64 at = 0;
        int count = 0;
        CRKEventLogRecord record;
        while (at < lines.size()) {
            const qint64 next = CRKEventLogReader::readRecord(lines, at, &record);
            QVERIFY2(next > 0, qPrintable(QStringLiteral("kill %1: bad line at byte %2").arg(k).arg(at)));
            QCOMPARE(record.key, QByteArray("custom"));
            QVERIFY(record.payload);
            QVERIFY(record.payload->count(record.payload->isEmpty() ? '\0' : record.payload->at(0))
                    == record.payload->size());
            at = next;
            ++count;
        }
        QVERIFY2(count > 0, "nothing was written before the kill");
    }
    qInfo("%d of 25 kills left a torn last record", torn);
}

QTEST_GUILESS_MAIN(TestTallyDurability)
#include "tst_tally_durability.moc"
