#include "platform/AccessibilityTrust.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {
Q_LOGGING_CATEGORY(lcA11y, "mirvok.accessibility", QtInfoMsg)

const QString kService = QStringLiteral("org.a11y.Bus");
const QString kPath = QStringLiteral("/org/a11y/bus");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kStatus = QStringLiteral("org.a11y.Status");
const QString kIsEnabled = QStringLiteral("IsEnabled");
// The bus launcher answers at once; a hung session bus must not freeze the
// caller (the main window asks when the user clicks a capture switch).
constexpr int kTimeoutMs = 2000;

QPointer<QMessageBox> g_prompt;
}  // namespace

namespace accessibility {

bool isEnabled() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kProps, QStringLiteral("Get"));
    call << kStatus << kIsEnabled;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCDebug(lcA11y) << "cannot read accessibility status:" << reply.errorMessage();
        return false;
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool setEnabled(bool enabled) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kProps, QStringLiteral("Set"));
    call << kStatus << kIsEnabled << QVariant::fromValue(QDBusVariant(enabled));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCWarning(lcA11y) << "cannot switch accessibility:" << reply.errorMessage();
        return false;
    }
    return true;
}

QWidget* showEnablePrompt(QWidget* parent) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    if (g_prompt) {
        g_prompt->raise();
        g_prompt->activateWindow();
        return g_prompt;
    }
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setWindowTitle(QString::fromUtf8("米沃词典"));
    box->setText(QString::fromUtf8("屏幕取词需要开启系统的辅助功能。"));
    box->setInformativeText(QString::fromUtf8("开启后，米沃词典可以读取其他程序中鼠标所指和选中的文字。现在开启吗？"));
    QPushButton* enable = box->addButton(QString::fromUtf8("开启"), QMessageBox::AcceptRole);
    box->addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
    box->setDefaultButton(enable);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [enable](QAbstractButton* b) {
        if (b == enable) setEnabled(true);
    });
    box->setModal(false);
    box->show();
    g_prompt = box;
    return box;
}

}  // namespace accessibility

bool isAccessibilityTrusted(bool prompt) {
    const bool on = accessibility::isEnabled();
    // Over the window the user clicked in: a window manager then keeps the
    // question above it and centred on it, instead of letting one click on
    // that window bury it.
    if (!on && prompt) accessibility::showEnablePrompt(QApplication::activeWindow());
    return on;
}
