#include "capture/GetWordMonitor.h"

#include "capture/GetWordServer.h"
#include "platform/NotificationCenter.h"
#include "platform/SingleInstance.h"
#include "query/AppConstants.h"

#include <QDBusConnection>
#include <QDBusMessage>

GetWordMonitor::GetWordMonitor(QObject* parent) : QObject(parent) {}

GetWordMonitor::~GetWordMonitor() {
    server_.reset();
    if (receiving_)
        QDBusConnection::sessionBus().disconnect(QString(), QString::fromLatin1(SingleInstance::kObjectPath),
                                                 QString::fromLatin1(SingleInstance::kServiceName),
                                                 BROWSER_GOT_WORD_MSG, this, SLOT(onBrowserWord(QString)));
}

bool GetWordMonitor::startServer(quint16 port) {
    if (!receiving_) {
        receiving_ = QDBusConnection::sessionBus().connect(
            QString(), QString::fromLatin1(SingleInstance::kObjectPath),
            QString::fromLatin1(SingleInstance::kServiceName), BROWSER_GOT_WORD_MSG, this,
            SLOT(onBrowserWord(QString)));
    }
    if (server_) return server_->isRunning();
    server_ = std::make_unique<GetWordServer>(
        [](const browserbridge::BrowserWord& w) { postWord(browserbridge::notificationObject(w)); });
    return server_->start(port);
}

quint16 GetWordMonitor::port() const { return server_ ? server_->port() : 0; }

void GetWordMonitor::postWord(const QString& object) {
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(SingleInstance::kObjectPath),
                                                     QString::fromLatin1(SingleInstance::kServiceName),
                                                     BROWSER_GOT_WORD_MSG);
    signal << object;
    QDBusConnection::sessionBus().send(signal);
}

void GetWordMonitor::onBrowserWord(const QString& object) {
    NotificationCenter::defaultCenter().post(BROWSER_GOT_WORD_MSG, nullptr,
                                             {{QStringLiteral("object"), object}});
}
