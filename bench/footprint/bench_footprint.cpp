// Memory of the real mirvok on a private X server: the proportional set size
// of its whole process tree (web engine helpers included) some seconds after
// start, and again after N lookups sent through the D-Bus Query method
// against a local dictionary service that answers at once; with the number of
// helper processes. Given `--peer PROGRAM`, the same start-up figures for
// another desktop dictionary, started the same way, for comparison.
//
//   bench_footprint [--lookups 500] [--settle 10] [--peer PROGRAM] [--verbose]
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

bool g_verbose = false;

void report(const char* who, const char* when, qint64 pid) {
    std::printf("%-6s %-22s tree PSS %7.1f MB, %zu helper processes\n", who, when,
                double(treePssKb(pid)) / 1024.0, processTree(pid).size() - 1);
    if (g_verbose) {
        for (qint64 p : processTree(pid)) {
            QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(p));
            QByteArray line = cmd.open(QIODevice::ReadOnly) ? cmd.readAll() : QByteArray();
            line.replace('\0', ' ');
            const qsizetype type = line.indexOf("--type=");
            const QByteArray name = line.left(line.indexOf(' ')).split('/').last() +
                                    (type >= 0 ? ' ' + line.mid(type, line.indexOf(' ', type) - type) : QByteArray());
            std::printf("         %7.1f MB  %-34s (anonymous %.1f, shared memory %.1f, files %.1f)\n",
                        double(processPssKb(p)) / 1024.0, name.constData(), double(processPssKb(p, "Pss_Anon:")) / 1024.0,
                        double(processPssKb(p, "Pss_Shmem:")) / 1024.0, double(processPssKb(p, "Pss_File:")) / 1024.0);
        }
    }
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
    options.addOption({QStringLiteral("verbose"), QStringLiteral("Each process's share as well.")});
    options.process(app);
    g_verbose = options.isSet(QStringLiteral("verbose"));
    const int lookups = options.value(QStringLiteral("lookups")).toInt();
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
