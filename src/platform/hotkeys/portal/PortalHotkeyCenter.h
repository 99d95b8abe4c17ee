#pragma once

#include "platform/hotkeys/HotkeyCenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <map>

// Global shortcuts through the desktop portal
// (org.freedesktop.portal.GlobalShortcuts): one session, every registered
// combination bound in it as the preferred trigger, the desktop deciding
// (and letting the user change) what finally triggers it. The portal
// answers later, so registering succeeds when the portal is there and the
// outcome shows in state(). The list is bound once per session, and again
// only when it changes or the portal starts a new session (it restarted,
// or closed ours). Main thread only.
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
    void changeBound() override;

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
    void onShortcutsChanged(const QDBusMessage& message);
    void onSessionClosed(const QDBusMessage& message);

private:
    using Asked = QList<QPair<QString, QString>>;  // id, preferred trigger

    QString requestPath(const QString& token) const;
    void createSession();
    void bind(bool askUser = false);
    void forgetSession();
    void portalOwnerChanged(const QString& before, const QString& owner);
    Asked wanted() const;
    QVariant shortcutList(const Asked& asked) const;
    void setState(State s);
    void readTriggers(const QVariant& shortcuts);

    struct Entry {
        int keyCode;
        quint64 flags;
        Action action;
    };
    std::map<QString, Entry> entries_;
    // A connection of our own: the portal learns an application's id from
    // the first call on a connection, which must then be the registration.
    QDBusConnection bus_;
    State state_ = State::Unknown;
    QString session_;
    QString createPath_;
    QString bindPath_;
    bool creating_ = false;
    bool bindAgain_ = false;
    bool askSoon_ = false;
    // The portal bound the list given with the session (KDE's, 5.27): a
    // changed list needs a new session there.
    bool bindsAtCreation_ = false;
    // What this session was last asked to bind (at its creation or by a
    // bind that succeeded), and what the bind on its way asks.
    Asked asked_;
    Asked asking_;
    int token_ = 0;
    QMap<QString, QString> triggers_;
};
