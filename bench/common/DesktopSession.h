#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>
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

    // The window the last startAndWaitForWindow saw mapped (an X id).
    unsigned long lastWindow() const { return lastWindow_; }

    // Watches the last mapped window until its pixels have not changed (more
    // than a caret's blink) for
    // `quietMs`: the milliseconds from the program's start to the frame that
    // then stays, and in `frames` how many distinct frames came after the
    // first one (negative without a window). With `framesDir` each distinct
    // frame is saved there as <ms>.png.
    double waitForSettledWindow(int quietMs, int timeoutMs, int* frames, const QString& framesDir = {});

    // The pixels of a rectangle of `window` (window coordinates) as the
    // server holds them now; empty when the window is gone.
    QByteArray capture(unsigned long window, int x, int y, int width, int height);
    // Pixels that differ between two captures of one size (32-bit pixels).
    static int differingPixels(const QByteArray& a, const QByteArray& b);

    // Keystrokes as a keyboard sends them (XTest), to whatever has focus;
    // `typeText` takes Latin letters and digits only.
    void focus(unsigned long window);
    void pressKey(const char* keysym);
    // Keys held together in order, let go in reverse ("Control_L", "a").
    void pressChord(std::initializer_list<const char*> keysyms);
    void typeText(const QString& text);

    // Ends a process this bench started, asking first.
    static void stop(QProcess& process);

private:
    void* x();
    int display_ = 90;
    void* x_ = nullptr;
    unsigned long lastWindow_ = 0;
    qint64 lastStartNs_ = 0;
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
