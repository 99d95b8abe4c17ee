#pragma once

// A private X server and session bus for benchmarks that start the real
// mirvok, and the environment that keeps each run out of the real home.
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QThread>
#include <cstdio>

class PrivateDesktop {
public:
    // False (with a line on stderr) when Xvfb or the bus did not start.
    bool start(const char* who) {
        display_ = 90;
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_))) ++display_;
        xvfb_.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display_), QStringLiteral("-screen"),
                                             QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb_.waitForStarted()) {
            std::fprintf(stderr, "%s: Xvfb did not start\n", who);
            return false;
        }
        for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_)); ++i)
            QThread::msleep(50);
        bus_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address")});
        if (!bus_.waitForStarted() || !bus_.waitForReadyRead(5000)) {
            std::fprintf(stderr, "%s: no session bus\n", who);
            return false;
        }
        busAddress_ = QString::fromUtf8(bus_.readLine().trimmed());
        return true;
    }

    ~PrivateDesktop() {
        for (QProcess* p : {&bus_, &xvfb_}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            p->waitForFinished(3000);
        }
    }

    QString busAddress() const { return busAddress_; }

    // For mirvok: this display and bus, the user folders under `home`, the
    // web engine without sandbox or GPU.
    QProcessEnvironment environment(const QString& home) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display_));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
        env.insert(QStringLiteral("HOME"), home);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(v), home + QLatin1Char('/') + QString::fromLatin1(v));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu --no-sandbox"));
        return env;
    }

private:
    int display_ = 90;
    QProcess xvfb_, bus_;
    QString busAddress_;
};
