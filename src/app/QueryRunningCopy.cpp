#include "app/QueryRunningCopy.h"

#include "app/AppLibrary.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <cerrno>

namespace {
const QString kService = QString::fromLatin1(SingleInstance::kServiceName);

// Gone, or dead and waiting for a parent that may never reap it (a
// container's first process often does not).
bool processEnded(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) == 'Z';
}
}  // namespace

QueryRunningCopy::QueryRunningCopy(QObject* parent) : QObject(parent) {}

void QueryRunningCopy::send(const QString& text, const QString& program) {
    text_ = text;
    program_ = program;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        QTimer::singleShot(0, this, [this] { finish(QStringLiteral("没有 D-Bus 会话总线，无法把文字交给米沃词典。")); });
        return;
    }
    call(!bus.interface()->isServiceRegistered(kService).value());
}

void QueryRunningCopy::call(bool activate) {
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, QString::fromLatin1(SingleInstance::kObjectPath),
                                                      kService, QStringLiteral("Query"));
    msg << text_ << QStringLiteral("q");
    msg.setAutoStartService(activate);
    // A copy the bus starts for us may take its time to claim the name.
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(msg, activate ? startTimeoutMs_ : 25000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, activate](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage) return finish(QString());
        // No activation file, or one that could not start the program: start it ourselves.
        if (activate && pid_ == 0 &&
            !QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value())
            return startProgram();
        finish(QStringLiteral("米沃词典没有接收查询：%1").arg(reply.errorMessage()));
    });
}

void QueryRunningCopy::startProgram() {
    auto* registered = new QDBusServiceWatcher(kService, QDBusConnection::sessionBus(),
                                               QDBusServiceWatcher::WatchForRegistration, this);
    connect(registered, &QDBusServiceWatcher::serviceRegistered, this, [this, registered] {
        registered->deleteLater();
        poll_.stop();
        call(false);
    });
    if (!QProcess::startDetached(program_, {}, QString(), &pid_) || pid_ <= 0) {
        finish(QStringLiteral("无法启动米沃词典（%1）。").arg(program_));
        return;
    }
    // A copy that cannot open its windows (no display) exits at once: say so
    // then, not only after the whole wait.
    const QDeadlineTimer deadline(startTimeoutMs_);
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this, deadline] {
        if (processEnded(pid_))
            return finish(QStringLiteral("米沃词典启动后随即退出了（有图形桌面吗？）。"));
        if (deadline.hasExpired()) finish(QStringLiteral("米沃词典没有按时启动。"));
    });
    poll_.start();
}

void QueryRunningCopy::finish(const QString& error) {
    if (done_) return;
    done_ = true;
    poll_.stop();
    emit finished(error);
}

extern "C" int mirvok_app_query(const QString* text, QString* failure) {
    QueryRunningCopy sender;
    QObject::connect(&sender, &QueryRunningCopy::finished, QCoreApplication::instance(), [failure](const QString& error) {
        *failure = error;
        QCoreApplication::exit(error.isEmpty() ? 0 : 1);
    });
    sender.send(*text, QCoreApplication::applicationFilePath());
    return QCoreApplication::exec();
}
