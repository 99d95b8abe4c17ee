#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (session logout), SIGINT and SIGHUP end the application the way a
// quit does instead of killing it where it stands: the handler only writes
// the signal number to a pipe, and received() is emitted from the event loop
// of the thread that made the object. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    // Restores the previous actions.
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};
