#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Hands text to the running Mirvok's Query(text, "q") on the session bus,
// the way a desktop shortcut does. When no copy runs, the bus starts one
// from its activation file; without that file (a build tree, a prefix the
// bus does not search) the given program is started and awaited here.
class QueryRunningCopy : public QObject {
    Q_OBJECT
public:
    explicit QueryRunningCopy(QObject* parent = nullptr);

    // Answers through finished() exactly once, never inside this call.
    void send(const QString& text, const QString& program);

    // How long a started copy may take to claim its bus name.
    void setStartTimeoutMs(int ms) { startTimeoutMs_ = ms; }

Q_SIGNALS:
    // Empty error: the running copy took the text. Otherwise what went wrong,
    // in words for the user.
    void finished(const QString& error);

private:
    void call(bool activate);
    void startProgram();
    void finish(const QString& error);

    QString text_;
    QString program_;
    qint64 pid_ = 0;
    bool done_ = false;
    int startTimeoutMs_ = 60000;
    QTimer poll_;
};
