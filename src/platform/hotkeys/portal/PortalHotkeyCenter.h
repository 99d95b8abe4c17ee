#pragma once

#include "platform/hotkeys/HotkeyCenter.h"

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <map>

// Global shortcuts through the desktop portal
// (org.freedesktop.portal.GlobalShortcuts): one session, every registered
// combination bound in it as the preferred trigger, the desktop deciding
// (and letting the user change) what finally triggers it. The portal
// answers later, so registering succeeds when the portal is there and the
// outcome shows in state(). Main thread only.
class PortalHotkeyCenter : public QObject, public HotkeyCenter {
    Q_OBJECT
public:
    enum class State { Unknown, Unavailable, Bound, Refused };

    explicit PortalHotkeyCenter(QObject* parent = nullptr);

    bool registerHotKey(int keyCode, quint64 flags, Action action) override;
    void unregisterHotKey(int keyCode, quint64 flags) override;
    bool isRegistered(int keyCode, quint64 flags) const override;

    Standing standing() const override;
    QStringList boundTriggers() const override;
    void watchStanding(QObject* context, std::function<void()> changed) override;

    State state() const { return state_; }
    // What the desktop bound, by shortcut id (its own words, e.g. "Ctrl+Alt+D").
    QMap<QString, QString> triggers() const { return triggers_; }
    // The portal's trigger text for a stored combination ("CTRL+ALT+d").
    static QString triggerFor(int keyCode, quint64 flags);
    static QString idFor(int keyCode, quint64 flags);

signals:
    void stateChanged();

private slots:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);

private:
    QString requestPath(const QString& token) const;
    void createSession();
    void bind();
    void setState(State s);

    struct Entry {
        int keyCode;
        quint64 flags;
        Action action;
    };
    std::map<QString, Entry> entries_;
    State state_ = State::Unknown;
    QString session_;
    QString createPath_;
    QString bindPath_;
    bool creating_ = false;
    bool bindAgain_ = false;
    int token_ = 0;
    QMap<QString, QString> triggers_;
};
