// Cold start of mirvok on a private X server: time from launch until its
// first top-level window is mapped, median of five runs, each with fresh user
// folders, on a private session bus, with no service reachable. Also the time
// until the window's content is shown: the frame that then stays unchanged
// for two seconds, and how many frames came between the first and it. Given
// `--peer PROGRAM`, another desktop dictionary is started the same way,
// alternating with mirvok, for comparison in the same run.
//
//   bench_startup [--runs 5] [--peer PROGRAM] [--frames DIR]
#include "../common/DesktopSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Start {
    double window = -1, content = -1;
    int frames = 0;
};

QString g_framesDir;

Start startOnce(DesktopSession& desktop, const QString& program) {
    QTemporaryDir home;
    QProcess p;
    p.setProcessEnvironment(desktop.environment(home));
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    Start s;
    s.window = desktop.startAndWaitForWindow(p, program, {});
    static int started = 0;
    QString frames;
    if (!g_framesDir.isEmpty()) {
        frames = QStringLiteral("%1/start-%2").arg(g_framesDir).arg(++started);
        QDir().mkpath(frames);
    }
    if (s.window >= 0) s.content = desktop.waitForSettledWindow(2000, 15000, &s.frames, frames);
    DesktopSession::stop(p);
    return s;
}

void summary(const char* who, const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%s: no window in any run\n", who);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: start to %s, median %.0f ms over %zu runs (min %.0f, max %.0f)\n", who, what,
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
    options.addOption({QStringLiteral("frames"), QStringLiteral("Save each run's distinct frames here."),
                       QStringLiteral("dir")});
    options.process(app);
    g_framesDir = options.value(QStringLiteral("frames"));
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

    std::vector<double> ours, ourContent, theirs, theirContent;
    for (int run = 0; run < runs; ++run) {
        const Start s = startOnce(desktop, QStringLiteral(MIRVOK_EXECUTABLE));
        std::printf("run %d: mirvok %.0f ms (content %.0f ms, %d frames)", run + 1, s.window, s.content, s.frames);
        if (s.window >= 0) ours.push_back(s.window);
        if (s.content >= 0) ourContent.push_back(s.content);
        if (!peer.isEmpty()) {
            const Start other = startOnce(desktop, peer);
            std::printf(", peer %.0f ms (content %.0f ms, %d frames)", other.window, other.content, other.frames);
            if (other.window >= 0) theirs.push_back(other.window);
            if (other.content >= 0) theirContent.push_back(other.content);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    summary("mirvok", "first window", ours);
    summary("mirvok", "content shown", ourContent);
    if (!peer.isEmpty()) {
        summary("peer", "first window", theirs);
        summary("peer", "content shown", theirContent);
    }
    return ours.empty() ? 1 : 0;
}
