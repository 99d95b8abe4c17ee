#include <QDir>
#include <QFile>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "support/TestEnv.h"
#include "tally/CRKAnalyticsGzip.h"
#include "tally/CRKEventLogEvent.h"
#include "tally/CRKEventLogFile.h"
#include "tally/CRKEventLogSessionRepository.h"

// The analytics store on disk: folder names and states, packaging output,
// the sweep, and appends that fail.
class TestTallyStore : public QObject {
    Q_OBJECT
private slots:
    void namesAndPriorities();
    void prepRenameAndEmptyParents();
    void sweepKeepsLogsAndTheOpenFragment();
    void gzipInflatesToTheWholeRecords();
    void failedAppendLeavesOnlyWholeRecords();
    void reopeningCutsATornRecord();
};

namespace {

using Repo = CRKEventLogSessionRepository;
const QString kActive = QString::fromLatin1(kCRKActiveStateName);
const QString kPackaged = QString::fromLatin1(kCRKPackagedStateName);

QByteArray inflateGzip(const QByteArray& in, bool* ok)
{
    z_stream s {};
    *ok = inflateInit2(&s, 31) == Z_OK;
    QByteArray out;
    char buf[4096];
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    s.avail_in = uInt(in.size());
    int r = Z_OK;
    while (*ok && r == Z_OK) {
        s.next_out = reinterpret_cast<Bytef*>(buf);
        s.avail_out = sizeof buf;
        r = inflate(&s, Z_NO_FLUSH);
        out.append(buf, int(sizeof buf - s.avail_out));
    }
    *ok = *ok && r == Z_STREAM_END && s.avail_in == 0;
    inflateEnd(&s);
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

void TestTallyStore::namesAndPriorities()
{
    QCOMPARE(Repo::activeEventLogFileNameForPriority(2), QStringLiteral("2.log"));
    QVERIFY(Repo::activeEventLogFileNameForPriority(3).isNull());
    QCOMPARE(Repo::priorityForEventLogFileWithName("2.log"), quint64(2));
    QCOMPARE(Repo::priorityForEventLogFileWithName("2.log.zip"), quint64(2));
    QCOMPARE(Repo::priorityForEventLogFileWithName("0.log"), quint64(0));
    QCOMPARE(Repo::priorityForEventLogFileWithName("metadata"), Repo::kNoPriority);
    QCOMPARE(Repo::priorityForEventLogFileWithName("3.log"), Repo::kNoPriority);
    QCOMPARE(Repo::priorityForEventLogFileWithName("2.log.zip.zip"), Repo::kNoPriority);
    QCOMPARE(Repo::sessionDirectoryName("abc", 1700000000000), QStringLiteral("1700000000000_abc"));
    QCOMPARE(Repo::prepDirectoryForDirectory("/a/b/1_f/"), QStringLiteral("/a/b/1_f.prep"));
    QVERIFY(Repo::isPrepDirectory("/a/1_f.prep"));
    QVERIFY(!Repo::isPrepDirectory("/a/1_f"));
}

void TestTallyStore::prepRenameAndEmptyParents()
{
    TestEnv env;
    const Repo repo(env.root() + "/analytics");
    const auto log = repo.eventLogFileFor(kActive, "S", 10, "F", 11, 2);
    QVERIFY(log);
    QCOMPARE(*log, env.root() + "/analytics/v1/ACTIVE/10_S/11_F/2.log");
    QVERIFY(!QFile::exists(*log));   // only the folder is made
    writeFile(*log, "1\tk\n");

    const QString fragment = Repo::parentDirectory(*log);
    const auto prep = repo.prepSessionFragmentDirectoryFor(kPackaged, fragment);
    QVERIFY(prep);
    QCOMPARE(*prep, env.root() + "/analytics/v1/PACKAGED/10_S/11_F.prep");
    writeFile(*prep + "/2.log.zip", "z");
    const auto final = repo.removePrepStatusFromSessionFragmentDirectory(*prep);
    QVERIFY(final);
    QCOMPARE(*final, env.root() + "/analytics/v1/PACKAGED/10_S/11_F");
    QVERIFY(!repo.removePrepStatusFromSessionFragmentDirectory(*final));

    // A leftover prep folder of a crashed packaging is purged.
    QVERIFY(repo.prepSessionFragmentDirectoryFor(kPackaged, env.root() + "/analytics/v1/ACTIVE/10_S/12_G"));
    QVERIFY(repo.purgePrepSessionFragmentDirectoriesForStateName(kPackaged));
    QCOMPARE(*repo.sessionFragmentDirectoriesForStateName(kPackaged), QStringList{*final});

    QVERIFY(repo.removeSessionFragmentDirectory(fragment));
    QVERIFY(!QFileInfo::exists(env.root() + "/analytics/v1/ACTIVE"));
    QCOMPARE(*repo.logFilesForAllStates(), QStringList{*final + "/2.log.zip"});
    QVERIFY(repo.removeLogFile(*final + "/2.log.zip"));
    QVERIFY(!QFileInfo::exists(env.root() + "/analytics/v1/PACKAGED"));
    QVERIFY(QFileInfo::exists(env.root() + "/analytics/v1"));
    QVERIFY(repo.sessionDirectoriesForStateName(kPackaged));
    QVERIFY(QFileInfo(env.root() + "/analytics/v1/PACKAGED").isDir());
}

void TestTallyStore::sweepKeepsLogsAndTheOpenFragment()
{
    TestEnv env;
    const QString v1 = env.root() + "/a/v1";
    const Repo repo(env.root() + "/a");
    writeFile(v1 + "/stray", "x");
    writeFile(v1 + "/OTHER/1_s/1_f/0.log", "x");
    writeFile(v1 + "/ACTIVE/1_s/1_f/0.log", "1\tk\n");
    writeFile(v1 + "/ACTIVE/1_s/1_f/notes.txt", "x");
    writeFile(v1 + "/ACTIVE/1_s/1_f/sub/0.log", "x");
    writeFile(v1 + "/ACTIVE/1_s/.hidden", "x");
    QDir().mkpath(v1 + "/ACTIVE/1_s/2_empty");
    QDir().mkpath(v1 + "/ACTIVE/2_s/3_open");
    QDir().mkpath(v1 + "/ACTIVE/3_s/4_empty");
    writeFile(v1 + "/PACKAGED/1_s/5_f/2.log.zip", "z");
    QVERIFY(repo.cleanUpEventLogRepositoryIgnoringSessionFragmentDirectories({v1 + "/ACTIVE/2_s/3_open/"}));

    QStringList left;
    QDirIterator it(v1, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        left << it.next().mid(v1.size() + 1);
    left.sort();
    QCOMPARE(left, QStringList({"ACTIVE", "ACTIVE/1_s", "ACTIVE/1_s/1_f", "ACTIVE/1_s/1_f/0.log", "ACTIVE/2_s",
                                "ACTIVE/2_s/3_open", "PACKAGED", "PACKAGED/1_s", "PACKAGED/1_s/5_f",
                                "PACKAGED/1_s/5_f/2.log.zip"}));
}

void TestTallyStore::gzipInflatesToTheWholeRecords()
{
    TestEnv env;
    QByteArray lines;
    for (int i = 0; lines.size() < 40000; ++i)
        lines += CRKEventLogEvent(2, 1000 + i, "custom", QByteArray::number(i * 7919)).eventData();
    const QString src = env.root() + "/2.log";
    for (const QByteArray& input : {QByteArray(), lines, lines + "17\tcustom\t30\tpartial"}) {
        writeFile(src, input);
        QCOMPARE(CRKAnalyticsGzipCompressLogFile(src, src + ".zip"), 0);
        const QByteArray zipped = readFile(src + ".zip");
        QCOMPARE(quint8(zipped.at(0)), quint8(0x1f));   // a gzip member, not a zlib stream
        QCOMPARE(quint8(zipped.at(1)), quint8(0x8b));
        bool ok = false;
        QCOMPARE(inflateGzip(zipped, &ok), input.startsWith(lines) ? lines : QByteArray());
        QVERIFY(ok);
    }
    QCOMPARE(CRKAnalyticsGzipCompressLogFile(env.root() + "/missing.log", env.root() + "/m.zip"), -1);
}

void TestTallyStore::failedAppendLeavesOnlyWholeRecords()
{
    TestEnv env;
    const QString path = env.root() + "/1.log";
    const QByteArray line = CRKEventLogEvent(1, 1700000000000, "custom", QByteArray(300, 'p')).eventData();
    const pid_t child = fork();
    if (child == 0) {
        // The file may grow to 2.5 lines: the third append is cut short by
        // the kernel and must not be left half written.
        signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = rlim_t(line.size() * 5 / 2);
        struct rlimit rl { limit, limit };
        setrlimit(RLIMIT_FSIZE, &rl);
        auto file = CRKEventLogFile::open(path);
        int code = file ? 0 : 10;
        KTHError error;
        if (!code && !(file->appendData(line) && file->appendData(line)))
            code = 11;
        if (!code && file->appendData(line, &error))
            code = 12;
        if (!code && (error.isNull() || file->fileSize() != quint64(2 * line.size())))
            code = 13;
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(readFile(path), line + line);
}

void TestTallyStore::reopeningCutsATornRecord()
{
    TestEnv env;
    const QString path = env.root() + "/0.log";
    const QByteArray whole = CRKEventLogEvent(0, 5, "metadata", QByteArray("{}")).eventData();
    writeFile(path, whole + "6\tapp_became_active\t40\t{\"ev");
    auto file = CRKEventLogFile::open(path);
    QVERIFY(file);
    QCOMPARE(file->fileSize(), quint64(whole.size()));
    QVERIFY(file->appendEvent(CRKEventLogEvent(0, 7, "k", std::nullopt)));
    QCOMPARE(readFile(path), whole + "7\tk\n");
}

QTEST_GUILESS_MAIN(TestTallyStore)
#include "tst_tally_store.moc"
