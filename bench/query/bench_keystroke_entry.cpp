// Return in the search field to the full entry on the screen, black-box: the
// real mirvok on a private X server against a local stand-in service that
// answers at once (bench/common/InstantService). Each round selects the search text, types a word with
// XTest, waits for the quick result, presses Return and watches the page's
// pixels (the server's copy, polled as fast as it answers) until the entry
// is drawn. Prints the median time from the Return keystroke to the first
// changed frame and to the frame that then stays, and how many frames came
// in between (one means the entry was drawn in one go).
//
//   bench_keystroke_entry [--rounds 15] [--log FILE] [--shot FILE.png] [--engine-flags FLAGS]
//
// `--log` keeps mirvok's log with its timing lines (mirvok.timing at debug
// level, monotonic microseconds) for a breakdown; `--shot` saves the window
// as the last round left it.
#include "../common/DesktopSession.h"
#include "../common/InstantService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The page, left of the loading indicator's corner and below the toolbar.
constexpr int kLeft = 10, kTop = 130, kWidth = 480, kHeight = 300;

double monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({QStringLiteral("rounds"), QStringLiteral("Lookups measured."), QStringLiteral("n"),
                       QStringLiteral("15")});
    options.addOption({QStringLiteral("log"), QStringLiteral("Keep mirvok's log here."), QStringLiteral("file")});
    options.addOption({QStringLiteral("shot"), QStringLiteral("Save the window here."), QStringLiteral("png")});
    options.addOption({QStringLiteral("engine-flags"),
                       QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS for mirvok (mirvok adds its own to them)."),
                       QStringLiteral("flags")});
    options.process(app);
    const int rounds = options.value(QStringLiteral("rounds")).toInt();

    DesktopSession desktop;
    if (!desktop.isReady()) {
        std::fprintf(stderr, "bench_keystroke_entry: no Xvfb or session bus\n");
        return 1;
    }
    InstantService service;
    auto data = [](const char* file) {
        QFile f(QStringLiteral(MIRVOK_QUERY_DATA "/") + QLatin1String(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    service.on("/jsonapi", "application/json", data("full_entry.json"));
    service.on("/fsearch", "text/xml", data("fsearch.xml"));
    // No suggestions: their window would lie over the page being watched.
    service.on("/suggest/minisuggest", "text/xml", "<suggest><items></items></suggest>");
    service.on("/appapi/log", "text/plain", "");

    QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/XDG_CONFIG_HOME/mirvok"));
    QFile conf(home.path() + QStringLiteral("/XDG_CONFIG_HOME/mirvok/mirvok.conf"));
    if (!conf.open(QIODevice::WriteOnly)) return 1;
    const QByteArray host = service.hostPort().toUtf8();
    conf.write("[General]\nMVServiceHost=" + host + "\nMVWebSiteHost=" + host + "\n");
    conf.close();

    QProcess mirvok;
    QProcessEnvironment env = desktop.environment(home);
    // The kits talk to the stand-in too, not to a name that may hang in DNS.
    const QString local = QStringLiteral("http://") + service.hostPort();
    for (const char* v : {"SettingsEndpoint", "ConfigureEndpoint", "CrashKitReportsEndpoint"})
        env.insert(QString::fromLatin1(v), local);
    if (options.isSet(QStringLiteral("engine-flags")))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), options.value(QStringLiteral("engine-flags")));
    const QString log = options.value(QStringLiteral("log"));
    if (!log.isEmpty()) {
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("mirvok.timing.debug=true"));
        mirvok.setStandardOutputFile(log);
        mirvok.setStandardErrorFile(log);
    } else {
        mirvok.setStandardOutputFile(QProcess::nullDevice());
        mirvok.setStandardErrorFile(QProcess::nullDevice());
    }
    mirvok.setProcessEnvironment(env);
    if (desktop.startAndWaitForWindow(mirvok, QStringLiteral(MIRVOK_EXECUTABLE), {}) < 0) {
        std::fprintf(stderr, "bench_keystroke_entry: no window\n");
        return 1;
    }
    const unsigned long window = desktop.lastWindow();
    QThread::msleep(3000);
    desktop.focus(window);
    QThread::msleep(300);

    const char* words[] = {"apple", "paper", "think", "water", "house", "green", "light", "music"};
    std::vector<double> first, final, frames;
    for (int round = 0; round < rounds + 2; ++round) {
        desktop.pressChord({"Control_L", "a"});
        desktop.typeText(QString::fromLatin1(words[round % 8]));
        QThread::msleep(1000);
        const QByteArray before = desktop.capture(window, kLeft, kTop, kWidth, kHeight);
        if (before.isEmpty()) {
            std::fprintf(stderr, "bench_keystroke_entry: window gone\n");
            return 1;
        }
        const double t0 = monotonicMs();
        desktop.pressKey("Return");
        // Every distinct frame seen in the next 1.5 s, with its time.
        std::vector<std::pair<double, QByteArray>> seen{{0, before}};
        while (monotonicMs() - t0 < 1500) {
            // A short rest between looks, so the watching does not take the
            // processor from what it watches.
            QThread::usleep(500);
            QByteArray now = desktop.capture(window, kLeft, kTop, kWidth, kHeight);
            if (DesktopSession::differingPixels(now, seen.back().second) > 20) seen.emplace_back(monotonicMs() - t0, std::move(now));
        }
        if (round < 2) continue;  // warm-up
        if (!log.isEmpty()) std::printf("round %d: Return at %.3f ms (monotonic)\n", round - 1, t0);
        if (seen.size() < 2) {
            std::printf("round %d: no change on the screen\n", round - 1);
            continue;
        }
        first.push_back(seen[1].first);
        final.push_back(seen.back().first);
        frames.push_back(double(seen.size() - 1));
        std::printf("round %d: first change %.1f ms, final frame %.1f ms, %zu frames\n", round - 1, seen[1].first,
                    seen.back().first, seen.size() - 1);
        std::fflush(stdout);
    }
    const QString shot = options.value(QStringLiteral("shot"));
    if (!shot.isEmpty()) {
        const QByteArray pixels = desktop.capture(window, 0, 0, 720, 560);
        QImage(reinterpret_cast<const uchar*>(pixels.constData()), 720, 560, QImage::Format_RGB32).copy().save(shot);
    }
    std::printf("Return -> first change on screen: median %.1f ms; -> final frame: median %.1f ms; "
                "frames median %.0f (%d rounds, target < 40 ms)\n",
                median(first), median(final), median(frames), int(first.size()));
    DesktopSession::stop(mirvok);
    return first.empty() ? 1 : 0;
}
