// The record writer, the crash-time region and the user-logging stores.
#include "crash/core/CRKAllocator.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKException.h"
#include "crash/core/CRKFile.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"
#include "crash/core/CRKUserLogging.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mman.h>

namespace {

QList<QByteArray> fileLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString permissionsOf(const void* address)
{
    QFile maps("/proc/self/maps");
    maps.open(QIODevice::ReadOnly);
    const quintptr a = reinterpret_cast<quintptr>(address);
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        const QList<QByteArray> range = parts.value(0).split('-');
        if (range.size() == 2 && a >= range[0].toULongLong(nullptr, 16) && a < range[1].toULongLong(nullptr, 16))
            return QString::fromLatin1(parts[1]);
    }
    return {};
}

}  // namespace

class TestCrashRecords : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        CRKContextParameters p;
        const QByteArray folder = dir_.path().toUtf8();
        p.reportPath = folder.constData();
        p.logBufferSize = 200;
        p.maxCustomExceptions = 3;
        p.maxCustomKeys = 4;
        CRKContextInitialize(&p);
        QVERIFY(CRKContextIsInitialized());
    }

    // Catches: a line that QJsonDocument refuses because a name, path or
    // host text held a quote, backslash, newline or a cut UTF-8 sequence.
    void grammarRoundTrip()
    {
        const QString path = dir_.path() + "/grammar.crkrecord";
        CRKFile f;
        QVERIFY(CRKFileInitWithPathMode(&f, path.toUtf8(), false, false));
        CRKFileWriteSectionStart(&f, "s");
        CRKFileWriteHashStart(&f);
        CRKFileWriteHashEntryString(&f, "plain", "a\"b\\c\nd\te\x01");
        CRKFileWriteHashEntryString(&f, "cut", "\xe4\xb8\xad\xe6\x96");  // "中" then a cut sequence
        CRKFileWriteHashEntryString(&f, "bad", "x\xff\xc0\x80y");
        CRKFileWriteHashEntryString(&f, "missing", nullptr);
        CRKFileWriteHashEntryHexEncodedString(&f, "hex17", "0123456789abcdefg");
        CRKFileWriteHashEntryHexEncodedString(&f, "empty", "");
        CRKFileWriteHashEntryInt64(&f, "negative", -42);
        CRKFileWriteHashEntryUint64(&f, "max", UINT64_MAX);
        CRKFileWriteHashKey(&f, "nested");
        CRKFileWriteHashStart(&f);
        CRKFileWriteHashEntryBoolean(&f, "t", true);
        CRKFileWriteHashEnd(&f);
        CRKFileWriteHashKey(&f, "list");
        CRKFileWriteArrayStart(&f);
        CRKFileWriteArrayEntryUint64(&f, 0);
        CRKFileWriteArrayEntryString(&f, "q\"");
        CRKFileWriteArrayEntryHexEncodedString(&f, nullptr);
        CRKFileWriteArrayEnd(&f);
        CRKFileWriteHashEnd(&f);
        CRKFileWriteSectionEnd(&f);
        CRKFileWriteSectionStart(&f, "second");
        CRKFileWriteHashStart(&f);
        CRKFileWriteHashEnd(&f);
        CRKFileWriteSectionEnd(&f);
        QVERIFY(CRKFileClose(&f));

        const QList<QByteArray> lines = fileLines(path);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], "{\"second\":{}}");
        QJsonParseError error;
        const QJsonObject s = QJsonDocument::fromJson(lines[0], &error).object()["s"].toObject();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(s["plain"].toString(), QString("a\"b\\c\nd\te\x01"));
        QCOMPARE(s["cut"].toString(), QString::fromUtf8("\xe4\xb8\xad\xef\xbf\xbd"));
        QCOMPARE(s["bad"].toString(), QString::fromUtf8("x\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbdy"));
        QVERIFY(s["missing"].isNull());
        QCOMPARE(s["hex17"].toString(), QString("30313233343536373839616263646566") + "67");
        QCOMPARE(s["empty"].toString(), QString(""));
        QCOMPARE(s["negative"].toInt(), -42);
        QVERIFY(lines[0].contains("\"max\":18446744073709551615"));
        QCOMPARE(s["nested"].toObject()["t"].toBool(), true);
        QCOMPARE(s["list"].toArray().size(), 3);
        QVERIFY(s["list"].toArray()[2].isNull());
    }

    // Catches: a string read that faults on an unmapped page, and debug-log
    // directives that shift their arguments or print nothing for null.
    void smallUtilities()
    {
        char* pages = static_cast<char*>(mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        QVERIFY(pages != MAP_FAILED);
        munmap(pages + 4096, 4096);
        memset(pages, 'a', 4096);
        char out[64];
        QVERIFY(!CRKReadString(pages + 4096 - 8, out, sizeof(out)));
        pages[4095] = 0;
        QVERIFY(CRKReadString(pages + 4096 - 8, out, sizeof(out)));
        QCOMPARE(QByteArray(out), "aaaaaaa");
        QVERIFY(!CRKReadMemory(pages + 4090, out, 16));
        QVERIFY(!CRKReadString(reinterpret_cast<const char*>(16), out, sizeof(out)));
        munmap(pages, 4096);

        const QString log = dir_.path() + "/sdk.log";
        const qint64 before = QFileInfo(log).size();
        CRKSDKLog("%s: %p %zu K %d %s %u %x\n", "probe", reinterpret_cast<void*>(0xabc), size_t(5), -3,
                  static_cast<const char*>(nullptr), 7u, 255u);
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().mid(before), "probe: 0xabc 5 K -3 (null) 7 ff\n");
    }

    // Catches: a buffer that overruns or flushes at the wrong size.
    void bufferedWrites()
    {
        const QString path = dir_.path() + "/buffered.crkrecord";
        CRKFile f;
        QVERIFY(CRKFileInitWithPathMode(&f, path.toUtf8(), false, true));
        const QByteArray first(10, 'a'), rest(990, 'b');
        CRKFileWriteRaw(&f, first.constData(), size_t(first.size()));
        CRKFileWriteRaw(&f, rest.constData(), size_t(rest.size()));
        QCOMPARE(QFileInfo(path).size(), 999);
        uint64_t total = 0;
        QVERIFY(CRKFileCloseWithOffset(&f, &total));
        QCOMPARE(total, 1000u);
        QCOMPARE(QFileInfo(path).size(), 1000);
    }

    // Catches: a context left writable, or guards missing, after set-up.
    void regionIsFrozen()
    {
        CRKAllocator* allocator = CRKAllocatorGet();
        QVERIFY(allocator);
        QCOMPARE(permissionsOf(CRKContextGet()), "r--p");
        QCOMPARE(permissionsOf(CRKContextGetWritable()), "rw-p");
        QCOMPARE(permissionsOf(reinterpret_cast<void*>(allocator->base)), "---p");
        QCOMPARE(permissionsOf(reinterpret_cast<void*>(allocator->readOnly.start - 1)), "---p");
        QVERIFY(CRKAllocatorProtect(allocator));
        QVERIFY(CRKContextMarkAndCheckIfCrashed() == false);
        QVERIFY(CRKContextMarkAndCheckIfCrashed() == true);
    }

    // Catches: lines lost at the A/B swap, or a swap at the wrong count.
    void abStores()
    {
        const QString logA = dir_.path() + "/log_a.crkrecord", logB = dir_.path() + "/log_b.crkrecord";
        int written = 0;
        while (QFileInfo(logA).size() <= 200 && written < 100) {
            CRKUserLoggingRecordLogMessage("a line of the log");
            ++written;
        }
        QVERIFY(QFileInfo(logA).size() > 200);
        QVERIFY(!QFile::exists(logB));
        CRKUserLoggingRecordLogMessage("next");
        QCOMPARE(fileLines(logB).size(), 1);
        const QJsonObject log = QJsonDocument::fromJson(fileLines(logB)[0]).object()["log"].toObject();
        QCOMPARE(QByteArray::fromHex(log["msg"].toString().toLatin1()), "next");

        for (int i = 0; i < 3; ++i)
            CRKUserLoggingRecordError("domain", -i, {{"k", "v"}}, {});
        QCOMPARE(fileLines(dir_.path() + "/errors_a.crkrecord").size(), 3);
        CRKUserLoggingRecordError("later", 7, {}, {});
        const QList<QByteArray> b = fileLines(dir_.path() + "/errors_b.crkrecord");
        QCOMPARE(b.size(), 1);
        const QJsonObject error = QJsonDocument::fromJson(b[0]).object()["error"].toObject();
        QCOMPARE(error["code"].toInt(), 7);
        QVERIFY(!error["stacktrace"].toArray().isEmpty());
        QVERIFY(!error.contains("info"));

        const CRKExceptionFrame frame{0x1234, "sym", 4, nullptr, "file.js", 9};
        for (int i = 0; i < 4; ++i)
            CRKExceptionRecord(kCRKExceptionJavaScript, "exception", "oops", &frame, 1, false);
        QCOMPARE(fileLines(dir_.path() + "/custom_exception_a.crkrecord").size(), 3);
        const QList<QByteArray> custom = fileLines(dir_.path() + "/custon_exception_b.crkrecord");
        QCOMPARE(custom.size(), 1);
        const QJsonObject exception = QJsonDocument::fromJson(custom[0]).object()["exception"].toObject();
        QCOMPARE(exception["type"].toString(), "javascript");
        const QJsonObject f = exception["frames"].toArray()[0].toObject();
        QCOMPARE(f["pc"].toInt(), 0x1234);
        QVERIFY(f["library"].isNull());
        QCOMPARE(QByteArray::fromHex(f["file"].toString().toLatin1()), "file.js");
        QVERIFY(!QFile::exists(dir_.path() + "/exception.crkrecord"));
    }

    // Catches: a compaction that loses keys, keeps removed ones, or drops the
    // newest when over the limit; a cut last line losing the file.
    void keyValueCompaction()
    {
        const QString incremental = dir_.path() + "/user_incremental_kv.crkrecord";
        const QString compacted = dir_.path() + "/user_compacted_kv.crkrecord";
        CRKUserLoggingRecordUserKeyValue("gone", "x");
        CRKUserLoggingRecordUserKeyValue("gone", nullptr);
        for (int i = 0; i < 5; ++i)
            CRKUserLoggingRecordUserKeyValue(QByteArray::number(i).constData(), "v");
        for (int i = 0; i < 57; ++i)
            CRKUserLoggingRecordUserKeyValue("same", QByteArray::number(i).constData());
        QVERIFY(!QFile::exists(incremental));
        const std::vector<CRKKeyValue> kept = CRKUserLoggingReadKVEntries(compacted.toUtf8());
        QStringList keys;
        for (const CRKKeyValue& kv : kept)
            keys << QString::fromStdString(kv.key);
        QCOMPARE(keys, (QStringList{"2", "3", "4", "same"}));
        QCOMPARE(kept.back().value, "56");

        QFile cut(dir_.path() + "/cut.crkrecord");
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write("{\"kv\":{\"key\":\"61\",\"value\":\"62\"}}\n{\"kv\":{\"key\":\"63\",\"val");
        cut.close();
        const std::vector<CRKKeyValue> read = CRKUserLoggingReadKVEntries(cut.fileName().toUtf8());
        QCOMPARE(read.size(), size_t(1));
        QCOMPARE(read[0].value, "b");
    }
};

QTEST_GUILESS_MAIN(TestCrashRecords)
#include "tst_crash_records.moc"
