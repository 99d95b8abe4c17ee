// A stand-in for the desktop portal's Settings interface, in a process of its
// own on the test's session bus: answers ReadOne for the colour scheme and
// sends SettingChanged for each line "<key> <value>" read from its input.
// Prints "ready" once it owns the portal's name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace {
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
}  // namespace

class Settings : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    uint scheme = 0;
public Q_SLOTS:
    Q_SCRIPTABLE QDBusVariant ReadOne(const QString& ns, const QString& key)
    {
        return QDBusVariant(ns == kNamespace && key == QLatin1String("color-scheme") ? scheme : 0u);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Settings settings;
    settings.scheme = argc > 1 ? QString::fromLatin1(argv[1]).toUInt() : 0;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(kPath, &settings, QDBusConnection::ExportScriptableSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0)
            return QCoreApplication::quit();
        pending.append(buf, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> parts = pending.left(end).split(' ');
            pending.remove(0, end + 1);
            if (parts.size() != 2)
                continue;
            const QString key = QString::fromLatin1(parts[0]);
            const uint value = parts[1].toUInt();
            if (key == QLatin1String("color-scheme"))
                settings.scheme = value;
            QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("SettingChanged"));
            signal << kNamespace << key << QVariant::fromValue(QDBusVariant(value));
            bus.send(signal);
        }
    });
    return app.exec();
}

#include "StandInPortal.moc"
