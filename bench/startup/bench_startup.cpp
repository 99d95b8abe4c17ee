// Cold start of mirvok on a private X server: time from launch until its
// first top-level window is mapped, median of five runs, each with fresh user
// folders, on a private session bus, with no service reachable. Given
// `--peer PROGRAM`, another desktop dictionary is started the same way,
// alternating with mirvok, for comparison in the same run.
//
//   bench_startup [--runs 5] [--peer PROGRAM]
#include "../common/DesktopSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double startOnce(DesktopSession& desktop, const QString& program) {
    QTemporaryDir home;
    QProcess p;
    p.setProcessEnvironment(desktop.environment(home));
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    const double ms = desktop.startAndWaitForWindow(p, program, {});
    DesktopSession::stop(p);
    return ms;
}

void summary(const char* who, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: no window in any run\n", who);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: start to first window, median %.0f ms over %zu runs (min %.0f, max %.0f)\n", who,
                ms[ms.size() / 2], ms.size(), ms.front(), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({QStringLiteral("runs"), QStringLiteral("Starts of each program."), QStringLiteral("n"),
                       QStringLiteral("5")});
    options.addOption({QStringLiteral("peer"), QStringLiteral("Another program to start the same way."),
                       QStringLiteral("program")});
    options.process(app);
    const int runs = options.value(QStringLiteral("runs")).toInt();
    const QString peer = options.value(QStringLiteral("peer"));

    DesktopSession desktop;
    if (!desktop.isReady()) {
        std::fprintf(stderr, "bench_startup: no Xvfb or session bus\n");
        return 1;
    }
    // One start of each first, unmeasured: the first run would otherwise pay
    // for reading the libraries from the disk.
    startOnce(desktop, QStringLiteral(MIRVOK_EXECUTABLE));
    if (!peer.isEmpty()) startOnce(desktop, peer);

    std::vector<double> ours, theirs;
    for (int run = 0; run < runs; ++run) {
        const double ms = startOnce(desktop, QStringLiteral(MIRVOK_EXECUTABLE));
        std::printf("run %d: mirvok %.0f ms", run + 1, ms);
        if (ms >= 0) ours.push_back(ms);
        if (!peer.isEmpty()) {
            const double other = startOnce(desktop, peer);
            std::printf(", peer %.0f ms", other);
            if (other >= 0) theirs.push_back(other);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    summary("mirvok", ours);
    if (!peer.isEmpty()) summary("peer", theirs);
    return ours.empty() ? 1 : 0;
}
