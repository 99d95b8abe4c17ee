// Memory over a long session: 2,000 lookups sent to a running mirvok the way
// the desktop sends them (the D-Bus Query method). A local service answers
// with a full entry, a quick result and suggestions; every tenth word gets a
// garbage answer and falls back to the shipped dictionary. Prints the main
// process's RSS and PSS once settled after lookup 500 and after lookup 2,000;
// the growth between them should stay under 2 MB (about 1 KB per lookup).
#include "../common/DesktopSession.h"
#include "support/FakeHttpService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {

struct Memory {
    qint64 rssKb = 0, pssKb = 0;
};

Memory memoryOf(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    Memory m;
    if (!f.open(QIODevice::ReadOnly)) return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2) continue;
        if (parts[0] == "Rss:") m.rssKb = parts[1].toLongLong();
        else if (parts[0] == "Pss:") m.pssKb = parts[1].toLongLong();
    }
    return m;
}

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
    const int total = argc > 1 ? std::atoi(argv[1]) : 2000;
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
    FakeHttpService service;
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
    service.on(QStringLiteral("*"), QStringLiteral("/appapi/log"), ScriptedResponse(200));
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
    Memory atFirst;
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
        QThread::msleep(15);
        if (i == first) atFirst = settled(bus, mirvok.processId());
        if (i % 100 == 0) service.clearRequests();
    }
    const Memory atEnd = settled(bus, mirvok.processId());
    const double seconds = double(t.elapsed()) / 1000.0;
    mirvok.terminate();
    if (!mirvok.waitForFinished(10000)) mirvok.kill();

    std::printf("main process after start: RSS %.1f MB, PSS %.1f MB\n", start.rssKb / 1024.0, start.pssKb / 1024.0);
    std::printf("after lookup %d: RSS %.1f MB, PSS %.1f MB\n", first, atFirst.rssKb / 1024.0, atFirst.pssKb / 1024.0);
    std::printf("after lookup %d: RSS %.1f MB, PSS %.1f MB (%.0f s)\n", total, atEnd.rssKb / 1024.0,
                atEnd.pssKb / 1024.0, seconds);
    std::printf("growth over lookups %d-%d: RSS %+.2f MB, PSS %+.2f MB, %.1f KB per lookup (target < 2 MB)\n",
                first, total, (atEnd.rssKb - atFirst.rssKb) / 1024.0, (atEnd.pssKb - atFirst.pssKb) / 1024.0,
                total > first ? double(atEnd.rssKb - atFirst.rssKb) / (total - first) : 0.0);
    return 0;
}
