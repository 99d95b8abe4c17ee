// Children that really die, and the records they leave.
#include "crash/core/CRKUserLogging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Child {
    int status = 0;
    QString dir;
};

Child runChild(const QString& variant, const QString& scenario, const QStringList& env = {}, int killWith = 0,
               QTemporaryDir* holder = nullptr)
{
    Child child;
    child.dir = holder->path();
    const QByteArray exe = QByteArray(CRASH_CHILD_DIR) + "/crash_child_" + variant.toUtf8();
    const QByteArray arg1 = scenario.toUtf8(), arg2 = child.dir.toUtf8();
    std::vector<QByteArray> envBytes;
    for (const QString& e : env)
        envBytes.push_back(e.toUtf8());
    // The core's handlers are under test: sanitizers must not take the signals
    // first. The test preload still comes ahead of the sanitizer runtime.
    envBytes.push_back("ASAN_OPTIONS=verify_asan_link_order=0:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
                       "handle_abort=0:use_sigaltstack=0:detect_leaks=0:allow_user_segv_handler=1");
    envBytes.push_back("UBSAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
                       "handle_abort=0:use_sigaltstack=0");
    const pid_t pid = fork();
    if (pid == 0) {
        for (const QByteArray& e : envBytes)
            putenv(const_cast<char*>(e.constData()));
        execl(exe.constData(), exe.constData(), arg1.constData(), arg2.constData(), nullptr);
        _exit(127);
    }
    if (killWith) {
        // Sent once the main thread sleeps in pause() inside the crash chain
        // (its "ready" comes just before): a signal landing on the way there,
        // say in the dynamic linker binding pause(), has no caller to show.
        QElapsedTimer waited;
        waited.start();
        auto inPause = [pid] {
            QFile syscall(QStringLiteral("/proc/%1/syscall").arg(pid));
            return syscall.open(QIODevice::ReadOnly) && syscall.readLine().startsWith(QByteArray::number(SYS_pause) + ' ');
        };
        while (waited.elapsed() < 30000 && !(QFile::exists(child.dir + "/ready") && inPause()))
            QThread::msleep(1);
        kill(pid, killWith);
    }
    // A child that hangs instead of dying is a failure, not a stuck test.
    for (int i = 0; i < 2000 && waitpid(pid, &child.status, WNOHANG) == 0; ++i)
        QThread::msleep(10);
    if (waitpid(pid, &child.status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &child.status, 0);
        child.status = -1;
    }
    return child;
}

QList<QJsonObject> readLines(const QString& path)
{
    QFile f(path);
    QList<QJsonObject> lines;
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError) {
            qWarning() << "unparsable line" << line.left(200);
            return {};
        }
        lines << doc.object();
    }
    return lines;
}

QMap<QString, QPair<quint64, quint64>> readRanges(const QString& dir)
{
    QMap<QString, QPair<quint64, quint64>> ranges;
    QFile f(dir + "/ranges.txt");
    if (!f.open(QIODevice::ReadOnly))
        return ranges;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3)
            ranges[QString::fromUtf8(parts[0])] = {parts[1].toULongLong(), parts[2].toULongLong()};
    }
    return ranges;
}

bool stackPasses(const QJsonArray& stack, const QPair<quint64, quint64>& range)
{
    for (const QJsonValue& pc : stack) {
        const quint64 v = quint64(pc.toDouble());
        if (v >= range.first && v < range.second)
            return true;
    }
    return false;
}

int macNumber(int signal)
{
    return signal == SIGBUS ? 10 : signal == SIGSYS ? 12 : signal;
}

// Checks a crash record: the crash line, then the process state in order,
// every thread whole, one crashed, its stack through the expected functions.
void checkRecord(const QString& dir, const QString& file, const QString& first, QJsonObject* crashedOut = nullptr)
{
    const QList<QJsonObject> lines = readLines(dir + "/" + file);
    const QStringList expected = {first, "threads", "runtime", "dispatch_queue_names", "thread_names",
                                  "process_stats", "storage"};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i].keys(), QStringList{expected[i]});
    const QJsonArray threads = lines[1]["threads"].toArray();
    QCOMPARE(lines[3]["dispatch_queue_names"].toArray().size(), threads.size());
    QCOMPARE(lines[4]["thread_names"].toArray().size(), threads.size());
    int crashed = 0;
    for (const QJsonValue& t : threads) {
        const QJsonObject thread = t.toObject();
        const int registers = thread["registers"].toObject().size();
        QVERIFY2(registers == 21 || registers == 0, qPrintable(QString::number(registers)));
        if (registers == 0)
            QVERIFY(!thread["reason"].toString().isEmpty());
        if (thread["crashed"].toBool()) {
            ++crashed;
            QCOMPARE(registers, 21);
            if (crashedOut)
                *crashedOut = thread;
        }
    }
    QCOMPARE(crashed, 1);
    const QJsonObject stats = lines[5]["process_stats"].toObject();
    QCOMPARE(stats["freeMem"], stats["free_mem"]);
    QVERIFY(stats["resident"].toDouble() > 0);
}

}  // namespace

class TestCrashCapture : public QObject {
    Q_OBJECT

private slots:
    void everyWayOfDying_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("killWith");
        for (const char* variant : {"fp", "nofp"}) {
            auto row = [&](const char* scenario, int signal, int killWith = 0) {
                QTest::addRow("%s-%s-%d", variant, scenario, killWith ? killWith : signal)
                    << QString(variant) << QString(scenario) << signal << killWith;
            };
            row("segv", SIGSEGV);
            row("fpe", SIGFPE);
            row("trap", SIGILL);
            row("bus", SIGBUS);
            row("abort", SIGABRT);
            row("int3", SIGTRAP);
            row("nullcall", SIGSEGV);
        }
        for (int signal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP}) {
            QTest::addRow("raise-%d", signal) << "nofp" << QString("raise-%1").arg(signal) << signal << 0;
            QTest::addRow("kill-%d", signal) << "nofp" << "wait" << signal << signal;
        }
    }

    // Catches: a lost crash, a process that runs on after a sent signal, a
    // broken line, a crashed stack that does not reach its callers.
    void everyWayOfDying()
    {
        QFETCH(QString, variant);
        QFETCH(QString, scenario);
        QFETCH(int, signal);
        QFETCH(int, killWith);
        QTemporaryDir dir;
        const Child child = runChild(variant, scenario, {}, killWith, &dir);
        QVERIFY2(WIFSIGNALED(child.status), qPrintable(QString("status %1").arg(child.status)));
        QCOMPARE(WTERMSIG(child.status), signal);
        QJsonObject crashed;
        checkRecord(child.dir, "signal.crkrecord", "signal", &crashed);
        if (QTest::currentTestFailed())
            return;
        const QJsonObject line = readLines(child.dir + "/signal.crkrecord")[0]["signal"].toObject();
        QCOMPARE(line["number"].toInt(), macNumber(signal));
        const auto ranges = readRanges(child.dir);
        const QJsonArray stack = crashed["stacktrace"].toArray();
        QVERIFY2(stackPasses(stack, ranges["crash_caller"]), "crashed stack misses the caller");
        QVERIFY2(stackPasses(stack, ranges["main"]), "crashed stack misses main");
        if (scenario == "nullcall")
            QCOMPARE(stack[0].toInteger(), 0);
        // The parked threads show their own chain of frames.
        const QList<QJsonObject> lines = readLines(child.dir + "/signal.crkrecord");
        int deep = 0;
        for (const QJsonValue& t : lines[1]["threads"].toArray()) {
            const QJsonArray other = t.toObject()["stacktrace"].toArray();
            if (stackPasses(other, ranges["crash_deep"])) {
                ++deep;
                QVERIFY2(other.size() > 41, qPrintable(QString::number(other.size())));
            }
        }
        QCOMPARE(deep, 2);
        const QJsonArray names = lines[4]["thread_names"].toArray();
        QVERIFY(names.contains(QString::fromUtf8("\xe5\xb7\xa5\xe4\xbd\x9c\xe7\xba\xbf\xe7\xa8\x8b\"\xef\xbf\xbd")));
    }

    void uncaughtException_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("main") << "cxx-main";
        QTest::newRow("worker") << "cxx-worker";
    }

    // Catches: an exception record without the thrower marked crashed, or
    // without the SIGABRT record after it.
    void uncaughtException()
    {
        QFETCH(QString, scenario);
        QTemporaryDir dir;
        const Child child = runChild("nofp", scenario, {}, 0, &dir);
        QVERIFY(WIFSIGNALED(child.status));
        QCOMPARE(WTERMSIG(child.status), SIGABRT);
        QJsonObject crashed;
        checkRecord(child.dir, "exception.crkrecord", "exception", &crashed);
        const QJsonObject line = readLines(child.dir + "/exception.crkrecord")[0]["exception"].toObject();
        QCOMPARE(line["type"].toString(), "c++");
        QCOMPARE(QByteArray::fromHex(line["name"].toString().toLatin1()), "std::runtime_error");
        QCOMPARE(QByteArray::fromHex(line["reason"].toString().toLatin1()), "boom \"quoted\"");
        QVERIFY(stackPasses(crashed["stacktrace"].toArray(), readRanges(child.dir)["crash_caller"]));
        checkRecord(child.dir, "signal.crkrecord", "signal");
    }

    void stackOverflow_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::newRow("main thread") << "overflow-main";
        QTest::newRow("project queue") << "overflow-queue";
        QTest::newRow("plain thread") << "overflow-thread";
        QTest::newRow("QThread") << "overflow-qthread";
    }

    // Catches: an overflow that dies unrecorded because the thread (ours or
    // one a library started) has no alternate stack of its own.
    void stackOverflow()
    {
        QFETCH(QString, scenario);
        QTemporaryDir dir;
        const Child child = runChild("nofp", scenario, {}, 0, &dir);
        QVERIFY(WIFSIGNALED(child.status));
        QCOMPARE(WTERMSIG(child.status), SIGSEGV);
        QJsonObject crashed;
        checkRecord(child.dir, "signal.crkrecord", "signal", &crashed);
        QVERIFY(stackPasses(crashed["stacktrace"].toArray(), readRanges(child.dir)["crash_recurse"]));
        QCOMPARE(crashed["stacktrace"].toArray().size(), 512);
    }

    // Catches: a second faulting thread killing the process mid-record, and
    // a thread that never answers leaving the threads line open.
    void awkwardThreads()
    {
        {
            QTemporaryDir dir;
            const Child child = runChild("nofp", "two", {}, 0, &dir);
            QVERIFY(WIFSIGNALED(child.status));
            QCOMPARE(WTERMSIG(child.status), SIGSEGV);
            checkRecord(child.dir, "signal.crkrecord", "signal");
        }
        {
            QTemporaryDir dir;
            const Child child = runChild("nofp", "segv", {"CHILD_BLOCKER=1"}, 0, &dir);
            QCOMPARE(WTERMSIG(child.status), SIGSEGV);
            checkRecord(child.dir, "signal.crkrecord", "signal");
            QStringList reasons;
            for (const QJsonValue& t : readLines(child.dir + "/signal.crkrecord")[1]["threads"].toArray())
                if (t.toObject()["registers"].toObject().isEmpty())
                    reasons << t.toObject()["reason"].toString();
            // Not asked (it could never answer), and said so.
            QCOMPARE(reasons, QStringList{"signal blocked"});
        }
    }

    // Catches: a fault on a thread that blocks every signal taking the
    // default action unrecorded (the kernel's rule for a blocked fault).
    void blockedSignalThread()
    {
        QTemporaryDir dir;
        const Child child = runChild("nofp", "blocked-thread", {}, 0, &dir);
        QCOMPARE(WTERMSIG(child.status), SIGSEGV);
        QJsonObject crashed;
        checkRecord(child.dir, "signal.crkrecord", "signal", &crashed);
        QVERIFY(stackPasses(crashed["stacktrace"].toArray(), readRanges(child.dir)["crash_caller"]));
    }

    // Catches: a previous handler that never runs after ours.
    void chainedHandler()
    {
        QTemporaryDir dir;
        const Child child = runChild("nofp", "chained", {}, 0, &dir);
        QCOMPARE(WTERMSIG(child.status), SIGSEGV);
        QVERIFY(QFile::exists(child.dir + "/chained"));
        checkRecord(child.dir, "signal.crkrecord", "signal");
    }

    // Catches: any heap call on the crash path.
    void noHeapAfterClaim()
    {
        if (MIRVOK_SANITIZED)
            QSKIP("the sanitizer runtime owns malloc");
        for (const char* scenario : {"segv", "abort"}) {
            QTemporaryDir dir;
            const Child child = runChild("heap", scenario, {"CHILD_THREADS=3"}, 0, &dir);
            QVERIFY2(WIFSIGNALED(child.status), qPrintable(QString("status %1").arg(child.status)));
            checkRecord(child.dir, "signal.crkrecord", "signal");
        }
    }

    // Catches: a compaction that removes the compacted file before its
    // replacement is complete, so a kill at the wrong moment loses keys.
    void killedDuringCompaction()
    {
        for (int delay : {7, 23, 41, 67, 97}) {
            QTemporaryDir dir;
            const pid_t pid = fork();
            if (pid == 0) {
                const QByteArray exe = QByteArray(CRASH_CHILD_DIR) + "/crash_child_nofp";
                execl(exe.constData(), exe.constData(), "keys", dir.path().toUtf8().constData(), nullptr);
                _exit(127);
            }
            const QByteArray compacted = (dir.path() + "/user_compacted_kv.crkrecord").toUtf8();
            for (int i = 0; i < 500 && access(compacted.constData(), F_OK) != 0; ++i)
                QThread::msleep(5);
            // Once there, the compacted set must never be missing, not even
            // for the moment of a rewrite.
            QElapsedTimer watch;
            watch.start();
            int missing = 0;
            while (watch.elapsed() < delay)
                missing += access(compacted.constData(), F_OK) != 0 ? 1 : 0;
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            QCOMPARE(missing, 0);
            QSet<QString> keys;
            for (const char* name : {"/user_compacted_kv.crkrecord", "/user_incremental_kv.crkrecord"})
                for (const CRKKeyValue& kv : CRKUserLoggingReadKVEntries((dir.path() + name).toUtf8()))
                    keys << QString::fromStdString(kv.key);
            QCOMPARE(keys.size(), 10);
        }
    }

    // Catches: handlers installed under a debugger (they would take its
    // signals), or nothing recorded at all there.
    void debuggerAttached()
    {
        QTemporaryDir dir;
        const QByteArray exe = QByteArray(CRASH_CHILD_DIR) + "/crash_child_nofp";
        const QByteArray folder = dir.path().toUtf8();
        const pid_t pid = fork();
        if (pid == 0) {
            ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
            execl(exe.constData(), exe.constData(), "abort", folder.constData(), nullptr);
            _exit(127);
        }
        int status = 0;
        for (;;) {
            waitpid(pid, &status, 0);
            if (!WIFSTOPPED(status))
                break;
            const int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
            ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(intptr_t(signal)));
        }
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGABRT);
        QVERIFY(!QFile::exists(dir.path() + "/signal.crkrecord"));
        QCOMPARE(readLines(dir.path() + "/metadata.crkrecord").size(), 4);
        QVERIFY(readLines(dir.path() + "/binary_images.crkrecord").size() > 3);
    }

    // Catches: a start that misses the metadata, the image lines or the
    // freeze of the context.
    void startUp()
    {
        QTemporaryDir dir;
        const Child child = runChild("nofp", "abort", {}, 0, &dir);
        const QList<QJsonObject> meta = readLines(child.dir + "/metadata.crkrecord");
        QCOMPARE(meta.size(), 4);
        QStringList keys;
        for (const QJsonObject& o : meta)
            keys << o.keys();
        QCOMPARE(keys, (QStringList{"identity", "host", "application", "executable"}));
        QCOMPARE(meta[1]["host"]["model"].toString(), "model \"x\"");
        QCOMPARE(meta[1]["host"]["platform"].toString(), "mac");
        QCOMPARE(meta[3]["executable"]["uuid"].toString().size(), 32);
        const QList<QJsonObject> images = readLines(child.dir + "/binary_images.crkrecord");
        QVERIFY(images.size() > 3);
        bool sawLibc = false;
        for (const QJsonObject& o : images)
            sawLibc |= o["load"]["path"].toString().contains("libc.so");
        QVERIFY(sawLibc);
    }
};

QTEST_GUILESS_MAIN(TestCrashCapture)
#include "tst_crash_capture.moc"
