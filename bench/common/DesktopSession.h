#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A private desktop for benchmarks that start real applications: an Xvfb
// server and a session bus of their own, and for each run a fresh home.
class DesktopSession {
public:
    DesktopSession();
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool isReady() const { return ready_; }
    QString display() const { return QStringLiteral(":%1").arg(display_); }
    QString busAddress() const { return busAddress_; }

    // The environment of one run: this display and bus, `home` and its XDG
    // folders, and the web engine's sandbox off (it refuses root).
    QProcessEnvironment environment(const QTemporaryDir& home) const;

    // Starts `program` and waits until it maps its first top-level window;
    // the milliseconds from the start, or a negative value when no window
    // came within `timeoutMs`.
    double startAndWaitForWindow(QProcess& process, const QString& program, const QStringList& args,
                                 int timeoutMs = 30000);

    // Ends a process this bench started, asking first.
    static void stop(QProcess& process);

private:
    int display_ = 90;
    QProcess xvfb_, bus_;
    QString busAddress_;
    bool ready_ = false;
};

// The process and every process below it, as seen in /proc right now.
std::vector<qint64> processTree(qint64 root);
// Proportional set size of one process (or one of its parts, by the
// smaps_rollup field), and of a tree together, in kilobytes.
qint64 processPssKb(qint64 pid, const char* field = "Pss:");
qint64 treePssKb(qint64 root);
