#include "platform/ColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

namespace {
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

bool paletteIsDark(const QPalette& p)
{
    return p.color(QPalette::Window).lightness() < 128;
}
}  // namespace

ColorScheme& ColorScheme::shared()
{
    static ColorScheme* instance = new ColorScheme;
    return *instance;
}

int ColorScheme::preferenceOf(const QVariant& portalValue)
{
    // Read() wraps the value once more than ReadOne() and the signal do.
    QVariant v = portalValue;
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    bool ok = false;
    const uint value = v.toUInt(&ok);
    return ok && (value == 1 || value == 2) ? int(value) : 0;
}

void ColorScheme::start()
{
    if (started_)
        return;
    started_ = true;
    forced_ = qEnvironmentVariable("MIRVOK_COLOR_SCHEME").toLower();
    if (qApp) {
        platformPalette_ = QGuiApplication::palette();
        platformDark_ = paletteIsDark(platformPalette_);
        qApp->installEventFilter(this);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // The bus matches the slot only by its exact signature, and only once
        // the variant type is known to the type system.
        qRegisterMetaType<QDBusVariant>();
        if (!bus.connect(kPortal, kPath, kSettings, QStringLiteral("SettingChanged"), this,
                         SLOT(onSettingChanged(QString,QString,QDBusVariant))))
            qWarning("color scheme: cannot follow the desktop portal's settings");
        readPortal(true);
    }
    update();
}

void ColorScheme::readPortal(bool readOne)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPath, kSettings,
                                                       readOne ? QStringLiteral("ReadOne") : QStringLiteral("Read"));
    call << kNamespace << kKey;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, readOne](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            return setPortalPreference(preferenceOf(reply.arguments().constFirst()));
        // Portals before version 2 of the interface only know Read().
        if (readOne && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            readPortal(false);
    });
}

void ColorScheme::onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value)
{
    if (nameSpace == kNamespace && key == kKey)
        setPortalPreference(preferenceOf(value.variant()));
}

void ColorScheme::setPortalPreference(int preference)
{
    portal_ = preference;
    update();
}

bool ColorScheme::eventFilter(QObject* watched, QEvent* event)
{
    // The platform's own palette changed (a desktop without the portal
    // switching themes); ours, set for the dark scheme, does not count.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && !applying_) {
        platformPalette_ = QGuiApplication::palette();
        platformDark_ = paletteIsDark(platformPalette_);
        ownPalette_ = false;
        update();
    }
    return QObject::eventFilter(watched, event);
}

void ColorScheme::update()
{
    bool dark = portal_ == 1 || (portal_ == 0 && platformDark_);
    if (forced_ == QLatin1String("dark"))
        dark = true;
    else if (forced_ == QLatin1String("light"))
        dark = false;
    if (qApp && qobject_cast<QGuiApplication*>(qApp)) {
        // The platform's palette where it already matches, else ours.
        const bool wantOwn = dark != platformDark_;
        if (wantOwn != ownPalette_ || (wantOwn && dark != dark_)) {
            applying_ = true;
            if (!wantOwn)
                QGuiApplication::setPalette(platformPalette_);
            else
                QGuiApplication::setPalette(dark ? darkPalette() : lightPalette());
            applying_ = false;
            ownPalette_ = wantOwn;
            // A widget with a style sheet keeps the palette it was polished
            // with: polish again those that follow the palette.
            if (qobject_cast<QApplication*>(qApp)) {
                for (QWidget* w : QApplication::allWidgets()) {
                    if (!w->styleSheet().isEmpty())
                        w->setStyleSheet(w->styleSheet());
                }
            }
        }
    }
    if (dark == dark_)
        return;
    dark_ = dark;
    emit changed(dark_);
}

QPalette ColorScheme::lightPalette()
{
    QPalette p(QColor(0xef, 0xef, 0xef), QColor(0xf7, 0xf7, 0xf7));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, QColor(0x22, 0x22, 0x22));
    p.setColor(QPalette::WindowText, QColor(0x22, 0x22, 0x22));
    p.setColor(QPalette::Highlight, QColor(0xbd, 0x41, 0x40));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

QPalette ColorScheme::darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2d), base(0x1e, 0x1e, 0x20), text(0xe6, 0xe6, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x28));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x8e));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x48, 0x48, 0x4a));
    p.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::Mid, QColor(0x5a, 0x5a, 0x5e));
    p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0xbd, 0x41, 0x40));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6f, 0xa8, 0xf0));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x84));
    return p;
}
