// Memory over a long session: lookups sent to a running mirvok the way the
// desktop sends them (the D-Bus Query method). A local service answers with a
// full entry, a quick result and suggestions; every tenth word gets a garbage
// answer and falls back to the shipped dictionary. Prints the main process's
// RSS, PSS and anonymous RSS once settled after lookup 500, every 1,000 and
// at the end.
//
//   bench_lookup_soak [N]             N (2,000) lookups at about a user's
//                                     pace; the growth over lookups 500-N
//                                     should stay under 2 MB
//   bench_lookup_soak slow-log [N]    N (8,000) lookups as fast as the bus
//                                     takes them, the usage log answering
//                                     each event after 150 ms
//   bench_lookup_soak silent-log [N]  N (2,000) lookups as fast as the bus
//                                     takes them, the usage log never
//                                     answering
// With the usage log behind, anonymous RSS should stay within a few MB of
// its figure after lookup 1,000 (500 for silent-log).
#include "../common/DesktopSession.h"
#include "support/FakeHttpService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct Memory {
    qint64 rssKb = 0, pssKb = 0, anonKb = 0;
};

Memory memoryOf(qint64 pid) {
    Memory m;
    m.rssKb = processPssKb(pid, "Rss:");
    m.pssKb = processPssKb(pid, "Pss:");
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("RssAnon:")) m.anonKb = line.mid(8).trimmed().split(' ').value(0).toLongLong();
    return m;
}

void print(const char* what, const Memory& m) {
    std::printf("%s: RSS %.1f MB, PSS %.1f MB, RssAnon %.1f MB\n", what, m.rssKb / 1024.0, m.pssKb / 1024.0,
                m.anonKb / 1024.0);
    std::fflush(stdout);
}

// Holds the usage log's answers back until the bench ends: a service that
// accepts the request and never replies.
struct Silence {
    std::mutex m;
    std::condition_variable cv;
    bool over = false;
    void hold() {
        std::unique_lock lock(m);
        cv.wait(lock, [this] { return over; });
    }
    void end() {
        {
            std::lock_guard lock(m);
            over = true;
        }
        cv.notify_all();
    }
};

// Once the queued lookups have run (a call answered after them) and the
// figure has stopped moving.
Memory settled(QDBusConnection& bus, qint64 pid) {
    bus.call(QDBusMessage::createMethodCall(QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"),
                                            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    // The application gives freed pages back after a quiet second.
    QThread::msleep(2000);
    Memory last = memoryOf(pid);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000) {
        QThread::msleep(1000);
        const Memory now = memoryOf(pid);
        const bool still = std::abs(now.rssKb - last.rssKb) < 64;
        last = now;
        if (still) break;
    }
    return last;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool slowLog = argc > 1 && std::strcmp(argv[1], "slow-log") == 0;
    const bool silentLog = argc > 1 && std::strcmp(argv[1], "silent-log") == 0;
    const bool paced = !slowLog && !silentLog;
    const char* count = paced ? (argc > 1 ? argv[1] : nullptr) : (argc > 2 ? argv[2] : nullptr);
    const int total = count ? std::atoi(count) : slowLog ? 8000 : 2000;
    const int first = std::min(500, total);
    DesktopSession desktop;
    if (!desktop.isReady()) {
        std::fprintf(stderr, "bench_lookup_soak: no Xvfb or session bus\n");
        return 1;
    }
    QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/XDG_CONFIG_HOME/mirvok"));
    QFile conf(home.path() + QStringLiteral("/XDG_CONFIG_HOME/mirvok/mirvok.conf"));
    if (!conf.open(QIODevice::WriteOnly)) return 1;
    // Enough threads that answers held back never keep the lookups waiting.
    Silence silence;
    FakeHttpService service(paced ? 0 : 64);
    const auto endSilence = qScopeGuard([&silence] { silence.end(); });
    auto answer = [](const char* file, const char* type) {
        QFile f(QStringLiteral(MIRVOK_QUERY_DATA "/") + QLatin1String(file));
        return ScriptedResponse(200, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), type);
    };
    const ScriptedResponse entry = answer("full_entry.json", "application/json");
    service.on(QStringLiteral("*"), QStringLiteral("/jsonapi"), [entry](const RecordedRequest& r) {
        return r.queryValue(QStringLiteral("q")).startsWith(QLatin1String("junk"))
                   ? ScriptedResponse(200, QByteArray(2000, '\x7f'), "application/json")
                   : entry;
    });
    service.on(QStringLiteral("*"), QStringLiteral("/fsearch"), answer("fsearch.xml", "text/xml"));
    service.on(QStringLiteral("*"), QStringLiteral("/suggest/minisuggest"), answer("suggest.xml", "text/xml"));
    if (silentLog)
        service.on(QStringLiteral("*"), QStringLiteral("/appapi/log"), [&silence](const RecordedRequest&) {
            silence.hold();
            return ScriptedResponse(200);
        });
    else
        service.on(QStringLiteral("*"), QStringLiteral("/appapi/log"),
                   ScriptedResponse(200, {}, "text/plain", {}, slowLog ? 150 : 0));
    const QByteArray host = service.hostPort().toUtf8();
    conf.write("[General]\nMVServiceHost=" + host + "\nMVWebSiteHost=" + host + "\n");
    conf.close();

    QProcess mirvok;
    mirvok.setProcessEnvironment(desktop.environment(home));
    const QString log = home.filePath(QStringLiteral("mirvok.log"));
    mirvok.setStandardOutputFile(log);
    mirvok.setStandardErrorFile(log);
    mirvok.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
    QDBusConnection bus = QDBusConnection::connectToBus(desktop.busAddress(), QStringLiteral("soak"));
    QElapsedTimer up;
    up.start();
    while (!bus.interface()->isServiceRegistered(QStringLiteral("com.mirvok.Dict")) && up.elapsed() < 30000)
        QThread::msleep(50);
    if (!bus.interface()->isServiceRegistered(QStringLiteral("com.mirvok.Dict"))) {
        std::fprintf(stderr, "bench_lookup_soak: mirvok did not come up\n");
        return 1;
    }
    const Memory start = settled(bus, mirvok.processId());

    const char* words[] = {"apple", "run", "good", "time", "book", "think", "cat", "paper", "中国", "children"};
    print("main process after start", start);
    Memory atFirst, atEnd;
    QElapsedTimer t;
    t.start();
    for (int i = 1; i <= total; ++i) {
        const QString word = i % 10 ? QString::fromUtf8(words[i % 10]) : QStringLiteral("junk%1").arg(i);
        const QDBusMessage answer =
            bus.call(QDBusMessage::createMethodCall(QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"),
                                                    QStringLiteral("com.mirvok.Dict"), QStringLiteral("Query"))
                     << word << QStringLiteral("q"));
        if (answer.type() == QDBusMessage::ErrorMessage) {
            std::fprintf(stderr, "bench_lookup_soak: lookup %d failed: %s\n", i, qPrintable(answer.errorMessage()));
            mirvok.waitForFinished(5000);
            QFile f(log);
            if (f.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = f.readAll().split('\n');
                for (qsizetype k = std::max<qsizetype>(0, lines.size() - 40); k < lines.size(); ++k)
                    std::fprintf(stderr, "  %s\n", lines[k].constData());
            }
            return 1;
        }
        // A user's pace is far slower; this still lets each page render.
        if (paced) QThread::msleep(15);
        if (i == first || i % 1000 == 0 || i == total) {
            const Memory m = settled(bus, mirvok.processId());
            print(qPrintable(QStringLiteral("after lookup %1").arg(i)), m);
            if (i == first) atFirst = m;
            if (i == total) atEnd = m;
        }
        if (i % 100 == 0) service.clearRequests();
    }
    const double seconds = double(t.elapsed()) / 1000.0;
    mirvok.terminate();
    if (!mirvok.waitForFinished(10000)) mirvok.kill();

    std::printf("%d lookups in %.0f s\n", total, seconds);
    std::printf("growth over lookups %d-%d: RSS %+.2f MB, PSS %+.2f MB, %.1f KB per lookup (target < 2 MB)\n",
                first, total, (atEnd.rssKb - atFirst.rssKb) / 1024.0, (atEnd.pssKb - atFirst.pssKb) / 1024.0,
                total > first ? double(atEnd.rssKb - atFirst.rssKb) / (total - first) : 0.0);
    return 0;
}
