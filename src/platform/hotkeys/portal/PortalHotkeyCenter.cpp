#include "platform/hotkeys/portal/PortalHotkeyCenter.h"

#include "platform/hotkeys/KeyCodeTable.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <X11/X.h>
#include <X11/Xlib.h>

namespace {
Q_LOGGING_CATEGORY(lcPortalKeys, "mirvok.platform.shortcuts", QtInfoMsg)

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kIface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

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

PortalHotkeyCenter::PortalHotkeyCenter(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        state_ = State::Unavailable;
        return;
    }
    bus.connect(kService, QString(), QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                this, SLOT(onResponse(QDBusMessage)));
    bus.connect(kService, kPath, kIface, QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    bus.connect(kService, kPath, kIface, QStringLiteral("ShortcutsChanged"), this,
                SLOT(onShortcutsChanged(QDBusMessage)));
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
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
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
    if (session_.isEmpty())
        createSession();
    else
        bind();
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

void PortalHotkeyCenter::createSession() {
    if (creating_) return;
    creating_ = true;
    const QString token = QStringLiteral("mirvok%1").arg(++token_);
    createPath_ = requestPath(token);
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("CreateSession"));
    m.setArguments({QVariantMap{{QStringLiteral("handle_token"), token},
                                {QStringLiteral("session_handle_token"), QStringLiteral("mirvok")}}});
    auto* w = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError()) return;
        creating_ = false;
        qCInfo(lcPortalKeys).noquote() << "no global shortcuts portal:" << w->error().message();
        setState(State::Unavailable);
    });
}

void PortalHotkeyCenter::bind() {
    if (!bindPath_.isEmpty()) {
        // One bind at a time; the portal takes the whole list again.
        bindAgain_ = true;
        return;
    }
    QList<Shortcut> list;
    for (const auto& [id, e] : entries_)
        list.append({id, QVariantMap{{QStringLiteral("description"), QStringLiteral("Mirvok %1").arg(id)},
                                     {QStringLiteral("preferred_trigger"), triggerFor(e.keyCode, e.flags)}}});
    const QString token = QStringLiteral("mirvok%1").arg(++token_);
    bindPath_ = requestPath(token);
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("BindShortcuts"));
    m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(list), QString(),
                    QVariantMap{{QStringLiteral("handle_token"), token}}});
    auto* w = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError()) return;
        bindPath_.clear();
        qCWarning(lcPortalKeys).noquote() << "binding shortcuts failed:" << w->error().message();
        setState(State::Refused);
    });
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
        bind();
    } else if (message.path() == bindPath_) {
        bindPath_.clear();
        if (code != 0) {
            setState(State::Refused);
        } else {
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
    auto* w = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QList<QVariant> answer = w->reply().arguments();
        const uint version = answer.isEmpty() ? 0 : qdbus_cast<QDBusVariant>(answer[0]).variant().toUInt();
        if (version < 2) return bind();
        QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kIface, QStringLiteral("ConfigureShortcuts"));
        m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QString(), QVariantMap()});
        QDBusConnection::sessionBus().asyncCall(m);
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
