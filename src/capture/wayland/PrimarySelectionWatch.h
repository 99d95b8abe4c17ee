#pragma once

#include <QObject>
#include <QString>

class QProcess;

// The Wayland primary selection (what a drag or double click selects), read
// through wl-clipboard where the compositor offers a data-control protocol
// (wlroots compositors, KDE): `wl-paste --primary --watch` reads each new
// selection in its own process, so a stalled owner costs us nothing; texts
// over 64 KiB are not looked up. Main thread only.
class PrimarySelectionWatch : public QObject {
    Q_OBJECT
public:
    explicit PrimarySelectionWatch(QObject* parent = nullptr);
    ~PrimarySelectionWatch() override;

    void start();
    bool isActive() const { return active_; }
    QString note() const { return note_; }

    // The program run for both (tests point it elsewhere).
    static QString program();

signals:
    void changed();
    void selected(const QString& text);
    void stateChanged();

private:
    void setState(bool active, const QString& note);

    QProcess* watch_ = nullptr;
    QByteArray pending_;
    bool active_ = false;
    QString note_;
};
