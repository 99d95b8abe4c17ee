// Cold start of mirvok on a private X server: time from launch until the
// main window is mapped and visible, median of five runs, each with fresh
// user folders, on a private session bus.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool windowVisible(const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), QStringLiteral("米沃词典")});
    if (!p.waitForFinished(2000)) return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
           !p.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int display = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display))) ++display;
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted()) {
        std::fprintf(stderr, "bench_startup: Xvfb did not start\n");
        return 1;
    }
    for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); ++i)
        QThread::msleep(50);

    // One private session bus for all runs; each run releases the name when it ends.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                              QStringLiteral("--print-address")});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(5000)) {
        std::fprintf(stderr, "bench_startup: no session bus\n");
        xvfb.terminate();
        xvfb.waitForFinished(3000);
        return 1;
    }
    const QString busAddress = QString::fromUtf8(bus.readLine().trimmed());

    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("HOME"), home.path());
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(v), home.path() + QLatin1Char('/') + QString::fromLatin1(v));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu --no-sandbox"));
        // No service reachable: start-up must not wait for the network.
        QProcess mirvok;
        mirvok.setProcessEnvironment(env);
        mirvok.setStandardOutputFile(QProcess::nullDevice());
        mirvok.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        mirvok.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        bool shown = false;
        while (t.elapsed() < 30000) {
            if (windowVisible(env)) {
                shown = true;
                break;
            }
            QThread::msleep(10);
        }
        const double elapsed = double(t.nsecsElapsed()) / 1e6;
        mirvok.terminate();
        if (!mirvok.waitForFinished(5000)) mirvok.kill();
        mirvok.waitForFinished(2000);
        if (!shown) {
            std::printf("run %d: window not shown within 30 s\n", run + 1);
            std::fflush(stdout);
            continue;
        }
        std::printf("run %d: %.0f ms\n", run + 1, elapsed);
        std::fflush(stdout);
        ms.push_back(elapsed);
    }
    bus.terminate();
    bus.waitForFinished(3000);
    xvfb.terminate();
    xvfb.waitForFinished(3000);
    if (ms.empty()) return 1;
    std::sort(ms.begin(), ms.end());
    std::printf("cold start to main window shown: median %.0f ms over %zu runs (target < 1500 ms)\n",
                ms[ms.size() / 2], ms.size());
    return 0;
}
