#pragma once

#include <QColor>
#include <QDBusVariant>
#include <QObject>
#include <QPalette>
#include <QString>

// Light or dark, as the desktop prefers: the desktop portal's
// org.freedesktop.appearance color-scheme (1 dark, 2 light) where a portal
// answers on the session bus, else the palette the platform gave the
// application. Live: changed() when the portal's setting or the platform's
// palette changes. Widgets that draw with the palette follow by themselves
// (the application palette is switched when the platform's does not match);
// what draws fixed colours listens to changed(). Main thread only.
class ColorScheme : public QObject {
    Q_OBJECT
public:
    static ColorScheme& shared();

    // Asks the portal (asynchronously) and follows its changes from now on;
    // until it answers, the palette decides. MIRVOK_COLOR_SCHEME=dark|light
    // overrides both (bug reports, screenshots).
    void start();
    bool isDark() const { return dark_; }

    // The colour or style text for the scheme in force.
    QColor pick(const QColor& light, const QColor& dark) const { return dark_ ? dark : light; }
    QString pick(const QString& light, const QString& dark) const { return dark_ ? dark : light; }

    // The palette widgets get in the dark scheme when the platform's own is light.
    static QPalette darkPalette();
    // ...and in the light scheme when the platform's own is dark.
    static QPalette lightPalette();
    // The portal's value read as a preference: 1 dark, 2 light, else none.
    static int preferenceOf(const QVariant& portalValue);

Q_SIGNALS:
    void changed(bool dark);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    ColorScheme() = default;
    void readPortal(bool readOne);
    void setPortalPreference(int preference);
    void update();

    bool started_ = false;
    bool dark_ = false;
    int portal_ = 0;          // 0 none, 1 dark, 2 light
    bool platformDark_ = false;
    bool applying_ = false;   // a palette change of our own, not the platform's
    bool ownPalette_ = false; // the application runs on a palette we set
    QPalette platformPalette_;
    QString forced_;
};
