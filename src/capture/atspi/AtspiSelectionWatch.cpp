#include "capture/atspi/AtspiSelectionWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusArgument>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <functional>
#include <memory>

namespace {
Q_LOGGING_CATEGORY(lcAtspiWatch, "mirvok.capture.atspi", QtInfoMsg)

const QString kTextIface = QStringLiteral("org.a11y.atspi.Text");
// Longer than any sane selection to look up; the Text interface would hand
// over a whole document otherwise.
constexpr int kMaxChars = 2000;
constexpr int kCallTimeoutMs = 1000;

}  // namespace

// The steps after an event, for one sender and object.
struct AtspiSelectionWatch::Read {
    QDBusConnection bus;
    QString service;
    QString path;
    quint64 seq;
    int start = 0;
    int end = 0;
    QString text;
};

namespace {
QDBusMessage textCall(const AtspiSelectionWatch::Read& r, const QString& method, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(r.service, r.path, kTextIface, method);
    m.setArguments(args);
    return m;
}

QRect readRect(const QDBusMessage& reply) {
    const QList<QVariant> a = reply.arguments();
    if (a.size() == 1 && a[0].canConvert<QDBusArgument>()) {
        // (iiii)
        int x = 0, y = 0, w = 0, h = 0;
        const QDBusArgument arg = a[0].value<QDBusArgument>();
        arg.beginStructure();
        arg >> x >> y >> w >> h;
        arg.endStructure();
        return QRect(x, y, w, h);
    }
    if (a.size() == 4) return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
    return {};
}
}  // namespace

AtspiSelectionWatch::AtspiSelectionWatch(QObject* parent)
    : QObject(parent), connectionName_(QStringLiteral("mirvok-a11y-%1").arg(quintptr(this))) {}

AtspiSelectionWatch::~AtspiSelectionWatch() { QDBusConnection::disconnectFromBus(connectionName_); }

void AtspiSelectionWatch::fail(const QString& note) {
    active_ = false;
    note_ = note;
    qCInfo(lcAtspiWatch).noquote() << "accessibility selections unavailable:" << note;
    emit stateChanged();
}

void AtspiSelectionWatch::start() {
    if (started_) return;
    started_ = true;
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return fail(QStringLiteral("没有会话总线"));
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                    QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    auto* w = new QDBusPendingCallWatcher(session.asyncCall(m, kCallTimeoutMs), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QString> reply = *w;
        if (reply.isError() || reply.value().isEmpty()) return fail(QStringLiteral("找不到辅助功能总线"));
        connectBus(reply.value());
    });
}

void AtspiSelectionWatch::connectBus(const QString& address) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName_);
    if (!bus.isConnected()) return fail(QStringLiteral("无法连接辅助功能总线"));
    // Applications send only the events some listener registered for.
    QDBusMessage reg = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
    reg.setArguments({QStringLiteral("object:text-selection-changed"), QStringList(), QString()});
    bus.asyncCall(reg, kCallTimeoutMs);
    const bool ok = bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                                QStringLiteral("TextSelectionChanged"), this, SLOT(onEvent(QDBusMessage)));
    if (!ok) return fail(QStringLiteral("无法订阅选区事件"));
    active_ = true;
    note_.clear();
    qCDebug(lcAtspiWatch) << "watching accessibility selections";
    emit stateChanged();
}

void AtspiSelectionWatch::onEvent(const QDBusMessage& event) {
    emit changed();
    auto r = std::make_shared<Read>(Read{QDBusConnection(connectionName_), event.service(), event.path(), ++seq_, 0, 0, {}});
    // Our own windows' selections (the main window's field) are not looked
    // up: the sender's process tells, asked once per connection.
    const auto known = senderPids_.constFind(r->service);
    if (known != senderPids_.constEnd()) {
        if (*known != QCoreApplication::applicationPid()) readSelection(r);
        return;
    }
    QDBusMessage pid = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("GetConnectionUnixProcessID"));
    pid.setArguments({r->service});
    auto* w = new QDBusPendingCallWatcher(r->bus.asyncCall(pid, kCallTimeoutMs), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this, r](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        const qint64 pid = reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toLongLong() : 0;
        // Connections come and go with applications; the list stays small.
        if (senderPids_.size() > 256) senderPids_.clear();
        senderPids_.insert(r->service, pid);
        if (r->seq == seq_ && pid != QCoreApplication::applicationPid()) readSelection(r);
    });
}

void AtspiSelectionWatch::readSelection(const std::shared_ptr<Read>& r) {
    auto step = [this, r](const QDBusMessage& call, std::function<void(const QDBusMessage&)> next) {
        auto* w = new QDBusPendingCallWatcher(r->bus.asyncCall(call, kCallTimeoutMs), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [this, r, next](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusMessage reply = w->reply();
            if (r->seq != seq_ || reply.type() != QDBusMessage::ReplyMessage) return;
            next(reply);
        });
    };
    step(textCall(*r, QStringLiteral("GetSelection"), {0}), [this, r, step](const QDBusMessage& sel) {
        const QList<QVariant> a = sel.arguments();
        if (a.size() < 2) return;
        r->start = a[0].toInt();
        r->end = a[1].toInt();
        if (r->end <= r->start) return emit selected(QString(), QRect());
        r->end = qMin(r->end, r->start + kMaxChars);
        step(textCall(*r, QStringLiteral("GetText"), {r->start, r->end}), [this, r, step](const QDBusMessage& t) {
            const QList<QVariant> a = t.arguments();
            if (a.isEmpty()) return;
            r->text = a[0].toString();
            // Screen coordinates (0); an application that cannot say still
            // has its text looked up.
            QDBusMessage ext = textCall(*r, QStringLiteral("GetRangeExtents"), {r->start, r->end, 0u});
            auto* w = new QDBusPendingCallWatcher(r->bus.asyncCall(ext, kCallTimeoutMs), this);
            connect(w, &QDBusPendingCallWatcher::finished, this, [this, r](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (r->seq != seq_) return;
                const QDBusMessage reply = w->reply();
                emit selected(r->text, reply.type() == QDBusMessage::ReplyMessage ? readRect(reply) : QRect());
            });
        });
    });
}
