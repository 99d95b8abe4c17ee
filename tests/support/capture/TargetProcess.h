#pragma once

#include "support/GuiTestHelpers.h"

#include <QPoint>
#include <QProcess>
#include <QStringList>
#include <csignal>

// The capture target (CaptureTarget.cpp) as a child process: its stdout
// lines, the screen positions of its words, commands on its stdin.
class TargetProcess {
public:
    explicit TargetProcess(const QString& program, const QStringList& args = {},
                           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        proc_.setProcessEnvironment(env);
        QObject::connect(&proc_, &QProcess::readyReadStandardOutput, [this] {
            while (proc_.canReadLine()) lines_ << QString::fromUtf8(proc_.readLine()).trimmed();
        });
        proc_.start(program, args);
    }
    ~TargetProcess() {
        ::kill(pid_t(proc_.processId()), SIGCONT);
        proc_.kill();
        proc_.waitForFinished(3000);
    }
    bool waitFor(const QString& line, int ms = 15000) {
        return guitest::spinUntil([&] { return lines_.contains(line); }, ms);
    }
    QPoint word(const QString& w) const {
        for (const QString& l : lines_) {
            const QStringList p = l.split(u' ');
            if (p.size() == 4 && p[0] == QLatin1String("word") && p[1] == w) return {p[2].toInt(), p[3].toInt()};
        }
        return {};
    }
    void send(const QString& cmd) {
        proc_.write((cmd + QLatin1Char('\n')).toUtf8());
        proc_.waitForBytesWritten();
    }
    // Strokes of C, with or without modifiers.
    int copyKeys() const {
        int n = 0;
        for (const QString& l : lines_) n += l.startsWith(QLatin1String("key 67 ")) ? 1 : 0;
        return n;
    }
    QStringList lines() const { return lines_; }
    qint64 pid() const { return proc_.processId(); }

private:
    QProcess proc_;
    QStringList lines_;
};
