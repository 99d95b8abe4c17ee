#include "platform/hotkeys/portal/PortalHotkeyCenter.h"

#include "platform/hotkeys/KeyCodeTable.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QTimer>
#include <X11/X.h>
#include <X11/Xlib.h>

namespace {
Q_LOGGING_CATEGORY(lcPortalKeys, "mirvok.platform.shortcuts", QtInfoMsg)

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kIface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kAppId = QStringLiteral("com.mirvok.Dict");

struct Shortcut {
    QString first;
    QVariantMap second;
};

QDBusArgument& operator<<(QDBusArgument& a, const Shortcut& s) {
    a.beginStructure();
    a << s.first << s.second;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, Shortcut& s) {
    a.beginStructure();
    a >> s.first >> s.second;
    a.endStructure();
    return a;
}
}  // namespace

Q_DECLARE_METATYPE(Shortcut)

PortalHotkeyCenter::PortalHotkeyCenter(QObject* parent)
    : QObject(parent), bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("mirvok-shortcuts"))) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    if (!bus_.isConnected()) {
        state_ = State::Unavailable;
        return;
    }
    bus_.connect(kService, QString(), QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                 this, SLOT(onResponse(QDBusMessage)));
    bus_.connect(kService, kPath, kIface, QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    bus_.connect(kService, kPath, kIface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(onShortcutsChanged(QDBusMessage)));
    bus_.connect(kService, QString(), QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"), this,
                 SLOT(onSessionClosed(QDBusMessage)));
    // A portal that starts again (an update, a crash) has forgotten our
    // session: the shortcuts are bound anew in a new one.
    auto* watcher = new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& before, const QString& owner) { portalOwnerChanged(before, owner); });
}

QString PortalHotkeyCenter::idFor(int keyCode, quint64 flags) {
    return QStringLiteral("mirvok-%1-%2").arg(keyCode).arg(flags & KeyCodeTable::kModifierFlagsMask);
}

QString PortalHotkeyCenter::triggerFor(int keyCode, quint64 flags) {
    const unsigned int mods = KeyCodeTable::x11ModifiersForFlags(flags);
    QStringList parts;
    if (mods & ControlMask) parts << QStringLiteral("CTRL");
    if (mods & Mod1Mask) parts << QStringLiteral("ALT");
    if (mods & ShiftMask) parts << QStringLiteral("SHIFT");
    if (mods & Mod4Mask) parts << QStringLiteral("LOGO");
    const char* name = XKeysymToString(KeyCodeTable::keysymForCode(keyCode));
    if (!name) return {};
    parts << QString::fromLatin1(name);
    return parts.join(u'+');
}

QString PortalHotkeyCenter::requestPath(const QString& token) const {
    QString sender = bus_.baseService().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

HotkeyCenter::Standing PortalHotkeyCenter::standing() const {
    switch (state_) {
    case State::Bound:
        return Standing::Bound;
    case State::Unknown:
        return Standing::Asking;
    case State::Refused:
        return Standing::Refused;
    case State::Unavailable:
        break;
    }
    return Standing::Unavailable;
}

QStringList PortalHotkeyCenter::boundTriggers() const {
    QStringList bound;
    for (const QString& t : triggers_)
        if (!t.isEmpty()) bound << t;
    return bound;
}

void PortalHotkeyCenter::watchStanding(QObject* context, std::function<void()> changed) {
    connect(this, &PortalHotkeyCenter::stateChanged, context, std::move(changed));
}

void PortalHotkeyCenter::setState(State s) {
    if (state_ == s) return;
    state_ = s;
    emit stateChanged();
}

bool PortalHotkeyCenter::registerHotKey(int keyCode, quint64 flags, Action action) {
    const QString id = idFor(keyCode, flags);
    if (entries_.count(id) || triggerFor(keyCode, flags).isEmpty()) return false;
    if (state_ == State::Unavailable) return false;
    entries_[id] = {keyCode, flags, std::move(action)};
    // Registrations made together (the start registers each shortcut in
    // turn) go to the portal together.
    if (!askSoon_) {
        askSoon_ = true;
        QTimer::singleShot(0, this, [this] {
            askSoon_ = false;
            if (session_.isEmpty())
                createSession();
            else
                bind();
        });
    }
    return true;
}

void PortalHotkeyCenter::unregisterHotKey(int keyCode, quint64 flags) {
    // The portal has no unbinding: the shortcut stays with the desktop and
    // its activations are ignored.
    entries_.erase(idFor(keyCode, flags));
}

bool PortalHotkeyCenter::isRegistered(int keyCode, quint64 flags) const {
    return entries_.count(idFor(keyCode, flags)) > 0;
}

PortalHotkeyCenter::Asked PortalHotkeyCenter::wanted() const {
    Asked list;
    for (const auto& [id, e] : entries_) list.append({id, triggerFor(e.keyCode, e.flags)});
    return list;
}

QVariant PortalHotkeyCenter::shortcutList(const Asked& asked) const {
    QList<Shortcut> list;
    for (const auto& [id, trigger] : asked)
        list.append({id, QVariantMap{{QStringLiteral("description"), QStringLiteral("Mirvok %1").arg(id)},
                                     {QStringLiteral("preferred_trigger"), trigger}}});
    return QVariant::fromValue(list);
}

void PortalHotkeyCenter::createSession() {
    if (creating_) return;
    creating_ = true;
    const QString token = QStringLiteral("mirvok%1").arg(++token_);
    createPath_ = requestPath(token);
    asking_ = wanted();
    // Where the portal keeps a registry of host applications it learns our
    // id from us, not from how we were started; the first call on the
    // connection must be this one (later it fails, and changes nothing).
    QDBusMessage reg = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
                                                      QStringLiteral("Register"));
    reg.setArguments({kAppId, QVariantMap()});
    bus_.asyncCall(reg);
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("CreateSession"));
    // The shortcuts go with the session too: KDE's portal (5.27) binds only
    // what it is given here, and answers BindShortcuts by opening its
    // settings; portals that do not know the option pass it by.
    m.setArguments({QVariantMap{{QStringLiteral("handle_token"), token},
                                {QStringLiteral("session_handle_token"), QStringLiteral("mirvok")},
                                {QStringLiteral("shortcuts"), shortcutList(asking_)}}});
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(m), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError()) return;
        creating_ = false;
        qCInfo(lcPortalKeys).noquote() << "no global shortcuts portal:" << w->error().message();
        setState(State::Unavailable);
    });
}

void PortalHotkeyCenter::bind(bool askUser) {
    if (!bindPath_.isEmpty()) {
        // One bind at a time; the portal takes the whole list again.
        bindAgain_ = true;
        return;
    }
    // Asked again for what it already bound, a desktop may ask the user
    // again: only a changed list is sent, unless that is the point.
    const Asked list = wanted();
    if (list == asked_ && !askUser) return;
    if (bindsAtCreation_ && !askUser) {
        // Such a portal binds only what a new session brings.
        QDBusMessage close = QDBusMessage::createMethodCall(kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                            QStringLiteral("Close"));
        bus_.asyncCall(close);
        forgetSession();
        return createSession();
    }
    asking_ = list;
    const QString token = QStringLiteral("mirvok%1").arg(++token_);
    bindPath_ = requestPath(token);
    qCInfo(lcPortalKeys) << "binding shortcuts:" << list.size();
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("BindShortcuts"));
    m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), shortcutList(list), QString(),
                    QVariantMap{{QStringLiteral("handle_token"), token}}});
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(m), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError()) return;
        bindPath_.clear();
        qCWarning(lcPortalKeys).noquote() << "binding shortcuts failed:" << w->error().message();
        setState(State::Refused);
    });
}

void PortalHotkeyCenter::forgetSession() {
    session_.clear();
    createPath_.clear();
    bindPath_.clear();
    creating_ = false;
    bindAgain_ = false;
    asked_.clear();
    triggers_.clear();
}

void PortalHotkeyCenter::portalOwnerChanged(const QString& before, const QString& owner) {
    // Started by our own first call: that call is on its way to it.
    if (before.isEmpty() && (creating_ || !session_.isEmpty())) return;
    forgetSession();
    bindsAtCreation_ = false;
    if (owner.isEmpty()) {
        qCInfo(lcPortalKeys) << "the desktop portal went away";
        return setState(State::Unavailable);
    }
    qCInfo(lcPortalKeys) << "the desktop portal started again: a new shortcuts session";
    setState(State::Unknown);
    if (!entries_.empty()) createSession();
}

void PortalHotkeyCenter::onSessionClosed(const QDBusMessage& message) {
    if (session_.isEmpty() || message.path() != session_) return;
    qCInfo(lcPortalKeys) << "the portal closed the shortcuts session: a new one";
    forgetSession();
    setState(State::Unknown);
    if (!entries_.empty()) createSession();
}

void PortalHotkeyCenter::onResponse(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const uint code = args[0].toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(args[1]);
    if (message.path() == createPath_) {
        createPath_.clear();
        creating_ = false;
        session_ = results.value(QStringLiteral("session_handle")).toString();
        if (code != 0 || session_.isEmpty()) {
            qCWarning(lcPortalKeys) << "the portal refused a shortcuts session";
            return setState(State::Refused);
        }
        if (results.contains(QStringLiteral("shortcuts"))) {
            // Bound with the session already.
            bindsAtCreation_ = true;
            asked_ = asking_;
            readTriggers(results.value(QStringLiteral("shortcuts")));
            setState(State::Bound);
            emit stateChanged();
        }
        bind();
    } else if (message.path() == bindPath_) {
        bindPath_.clear();
        if (code != 0) {
            setState(State::Refused);
        } else {
            asked_ = asking_;
            readTriggers(results.value(QStringLiteral("shortcuts")));
            setState(State::Bound);
            emit stateChanged();
        }
        if (bindAgain_) {
            bindAgain_ = false;
            bind();
        }
    }
}

void PortalHotkeyCenter::readTriggers(const QVariant& shortcuts) {
    triggers_.clear();
    for (const Shortcut& s : qdbus_cast<QList<Shortcut>>(shortcuts))
        triggers_[s.first] = s.second.value(QStringLiteral("trigger_description")).toString();
    qCDebug(lcPortalKeys) << "shortcuts bound:" << triggers_;
}

void PortalHotkeyCenter::onShortcutsChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || qdbus_cast<QDBusObjectPath>(args[0]).path() != session_) return;
    readTriggers(args[1]);
    emit stateChanged();
}

void PortalHotkeyCenter::changeBound() {
    if (session_.isEmpty() || state_ != State::Bound) return;
    // The portal's own dialog where it has one (version 2 on); older ones
    // only hear the shortcuts bound again, which desktops answer by asking
    // the user about any they have not bound yet.
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get.setArguments({kIface, QStringLiteral("version")});
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QList<QVariant> answer = w->reply().arguments();
        const uint version = answer.isEmpty() ? 0 : qdbus_cast<QDBusVariant>(answer[0]).variant().toUInt();
        // The same list again is how such a desktop is asked (KDE's opens
        // its shortcut settings).
        if (version < 2) return bind(true);
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("ConfigureShortcuts"));
        m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QString(), QVariantMap()});
        bus_.asyncCall(m);
        qCDebug(lcPortalKeys) << "asked the desktop to configure the shortcuts";
    });
}

void PortalHotkeyCenter::onActivated(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) return;
    const QString session = qdbus_cast<QDBusObjectPath>(args[0]).path();
    if (session != session_) return;
    auto it = entries_.find(args[1].toString());
    if (it == entries_.end()) return;
    qCDebug(lcPortalKeys).noquote() << "shortcut activated:" << it->first;
    // A window the action shows may take the focus with the desktop's
    // token: Qt's Wayland plugin hands it to the compositor at activation.
    const QString token = qdbus_cast<QVariantMap>(args.value(3)).value(QStringLiteral("activation_token")).toString();
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    // The action may register or unregister shortcuts: call a copy.
    const Action action = it->second.action;
    action();
}
