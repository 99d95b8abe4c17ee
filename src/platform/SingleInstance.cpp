#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (!primary_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(QString::fromLatin1(kServiceName));
}

bool SingleInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    auto* iface = bus.interface();
    if (!iface) return false;
    // The object comes first: a call the bus queued while starting us (D-Bus
    // activation) is delivered the moment we own the name, and must find it.
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals))
        return false;
    auto reply = iface->registerService(QString::fromLatin1(kServiceName),
                                        QDBusConnectionInterface::DontQueueService,
                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return false;
    }
    primary_ = true;
    return true;
}

bool SingleInstance::showRunningInstance(int timeoutMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kServiceName),
                                                       QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kServiceName),
                                                       QStringLiteral("Show"));
    QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::Show() { emit showRequested(); }

void SingleInstance::Query(const QString& text, const QString& userData) { emit queryRequested(text, userData); }
