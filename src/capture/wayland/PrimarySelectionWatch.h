#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QProcess;

// The Wayland primary selection (what a drag or double click selects), read
// through wl-clipboard where the compositor offers a data-control protocol
// (wlroots compositors, KDE): `wl-paste --primary --watch` reads each new
// selection in its own process, so a stalled owner costs us nothing; texts
// over 64 KiB are not looked up.
//
// What the watch reports first on each start is what was selected already
// (before Mirvok started, or while the watch was down); it counts as new
// only when it differs from the last selection known. Before the first
// start one `wl-paste --primary` reads what is selected now. A watch that
// ends is started again after 0.5 s, doubling to 30 s, and from 0.5 s again
// once one has lived a minute; note() says why it ended. Main thread only.
class PrimarySelectionWatch : public QObject {
    Q_OBJECT
public:
    explicit PrimarySelectionWatch(QObject* parent = nullptr);
    ~PrimarySelectionWatch() override;

    void start();
    bool isActive() const { return active_; }
    QString note() const { return note_; }
    // The delay before the next start, in ms (tests step it).
    int restartDelayMs() const { return delayMs_; }

    // The program run for both (tests point it elsewhere).
    static QString program();

signals:
    // A new selection (not merely the state the watch found at its start).
    void changed();
    void selected(const QString& text);
    void stateChanged();

private:
    void readCurrent();
    void launch();
    void ended(const QString& why);
    void report(const std::optional<QString>& text);
    void accept(const std::optional<QString>& text);
    void read(std::function<void(const std::optional<QString>&)> then);
    void setState(bool active, const QString& note);

    QProcess* reader_ = nullptr;
    QProcess* watch_ = nullptr;
    QTimer restart_;
    QElapsedTimer lived_;
    QByteArray pending_;
    bool droppingLine_ = false;  // the rest of an over-long line is still to come
    // The selection as last known (empty: none); its first report in a run
    // is compared with it.
    QString known_;
    bool firstInRun_ = true;
    // Reports taken so far: a check of an empty one counts only while no
    // other came after it.
    quint64 reports_ = 0;
    bool started_ = false;
    bool active_ = false;
    int delayMs_ = 500;
    QString note_;
};
