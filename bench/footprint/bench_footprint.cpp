// Memory of the real mirvok on a private X server: the proportional set size
// of its whole process tree (web engine helpers included) some seconds after
// start, and again every `--every` lookups and after N lookups sent through
// the D-Bus Query method against a local dictionary service that answers at
// once. Each process of the tree gets a line: its PSS, and of that what is
// anonymous (its own heap and stacks, the same whatever else runs) and what
// maps files (libraries and fonts, whose pages the PSS divides among every
// process on the machine that maps them, so that share falls when other
// programs of the same libraries run). Given `--peer PROGRAM`, the same
// start-up figures for another desktop dictionary, started the same way.
//
//   bench_footprint [--lookups 500] [--every 0] [--settle 10] [--peer PROGRAM]
#include "../common/DesktopSession.h"
#include "support/FakeHttpService.h"
#include "support/GuiTestHelpers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

QByteArray sharedData(const char* name) {
    QFile f(QStringLiteral(SHARED_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void settle(int seconds) { QThread::sleep(static_cast<unsigned long>(seconds)); }

QByteArray processName(qint64 pid) {
    QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
    QByteArray line = cmd.open(QIODevice::ReadOnly) ? cmd.readAll() : QByteArray();
    line.replace('\0', ' ');
    const qsizetype type = line.indexOf("--type=");
    return line.left(line.indexOf(' ')).split('/').last() +
           (type >= 0 ? ' ' + line.mid(type, line.indexOf(' ', type) - type) : QByteArray());
}

double mb(qint64 kb) { return double(kb) / 1024.0; }

void report(const char* who, const char* when, qint64 pid) {
    const std::vector<qint64> tree = processTree(pid);
    qint64 anonymous = 0;
    for (qint64 p : tree) anonymous += processPssKb(p, "Pss_Anon:");
    std::printf("%-6s %-22s tree PSS %7.1f MB (anonymous %.1f), %zu helper processes\n", who, when,
                mb(treePssKb(pid)), mb(anonymous), tree.size() - 1);
    for (qint64 p : tree)
        std::printf("         %7.1f MB  %-34s (anonymous %.1f, shared memory %.1f, files %.1f; RSS %.1f)\n",
                    mb(processPssKb(p)), processName(p).constData(), mb(processPssKb(p, "Pss_Anon:")),
                    mb(processPssKb(p, "Pss_Shmem:")), mb(processPssKb(p, "Pss_File:")), mb(processPssKb(p, "Rss:")));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({QStringLiteral("lookups"), QStringLiteral("Lookups through D-Bus."), QStringLiteral("n"),
                       QStringLiteral("500")});
    options.addOption({QStringLiteral("settle"), QStringLiteral("Seconds to wait before measuring."),
                       QStringLiteral("s"), QStringLiteral("10")});
    options.addOption({QStringLiteral("peer"), QStringLiteral("Another program to measure the same way."),
                       QStringLiteral("program")});
    options.addOption({QStringLiteral("every"), QStringLiteral("Also measure after every n lookups (no settling)."),
                       QStringLiteral("n"), QStringLiteral("0")});
    options.process(app);
    const int lookups = options.value(QStringLiteral("lookups")).toInt();
    const int every = options.value(QStringLiteral("every")).toInt();
    const int settleSeconds = options.value(QStringLiteral("settle")).toInt();

    DesktopSession desktop;
    if (!desktop.isReady()) {
        std::fprintf(stderr, "bench_footprint: no Xvfb or session bus\n");
        return 1;
    }

    auto* service = new FakeHttpService;  // left open: keep-alive connections outlive the run
    service->on(QStringLiteral("*"), QStringLiteral("/jsonapi"),
                ScriptedResponse(200, sharedData("query/full_entry.json"), "application/json"));
    service->on(QStringLiteral("GET"), QStringLiteral("/fsearch"),
                ScriptedResponse(200, sharedData("query/fsearch.xml"), "text/xml"));
    service->on(QStringLiteral("*"), QStringLiteral("/appapi/log"), ScriptedResponse{});

    int status = 0;
    {
        QTemporaryDir home;
        const QProcessEnvironment env = desktop.environment(home);
        QDir().mkpath(env.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/mirvok"));
        QFile conf(env.value(QStringLiteral("XDG_CONFIG_HOME")) + QStringLiteral("/mirvok/mirvok.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write("[General]\nMVServiceHost=" + service->hostPort().toUtf8() + "\n");
        conf.close();

        QProcess mirvok;
        mirvok.setProcessEnvironment(env);
        mirvok.setStandardOutputFile(QProcess::nullDevice());
        mirvok.setStandardErrorFile(QProcess::nullDevice());
        const double shown = desktop.startAndWaitForWindow(mirvok, QStringLiteral(MIRVOK_EXECUTABLE), {});
        if (shown < 0) {
            std::fprintf(stderr, "bench_footprint: mirvok showed no window\n");
            DesktopSession::stop(mirvok);
            return 1;
        }
        settle(settleSeconds);
        report("mirvok", "after start", mirvok.processId());

        QDBusConnection bus = QDBusConnection::connectToBus(desktop.busAddress(), QStringLiteral("bench"));
        int answered = 0;
        for (int i = 0; i < lookups; ++i) {
            const int before = int(service->requestsTo(QStringLiteral("/jsonapi")).size());
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("com.mirvok.Dict"), QStringLiteral("/"), QStringLiteral("com.mirvok.Dict"),
                QStringLiteral("Query"));
            call << QStringLiteral("word%1").arg(i) << QStringLiteral("q");
            bus.call(call, QDBus::Block, 5000);
            answered += guitest::spinUntil([&] { return int(service->requestsTo(QStringLiteral("/jsonapi")).size()) > before; },
                                5000);
            service->clearRequests();
            if (every > 0 && (i + 1) % every == 0 && i + 1 < lookups) {
                const QByteArray when = "after " + QByteArray::number(i + 1) + " lookups";
                report("mirvok", when.constData(), mirvok.processId());
            }
        }
        settle(settleSeconds);
        std::printf("mirvok %d of %d lookups reached the service\n", answered, lookups);
        report("mirvok", "after lookups", mirvok.processId());
        DesktopSession::stop(mirvok);
        if (answered < lookups) status = 1;
    }

    const QString peer = options.value(QStringLiteral("peer"));
    if (!peer.isEmpty()) {
        QTemporaryDir home;
        QProcess other;
        other.setProcessEnvironment(desktop.environment(home));
        other.setStandardOutputFile(QProcess::nullDevice());
        other.setStandardErrorFile(QProcess::nullDevice());
        if (desktop.startAndWaitForWindow(other, peer, {}) < 0) {
            std::fprintf(stderr, "bench_footprint: the peer showed no window\n");
            status = 1;
        } else {
            settle(settleSeconds);
            report("peer", "after start", other.processId());
        }
        DesktopSession::stop(other);
    }
    return status;
}
