#pragma once

#include <QMutex>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <optional>

// The saved settings file (settings.json) and what it says about the
// application. The parsed dictionary is cached; reads and clearing may
// happen on any thread.
class KTHSettings {
public:
    explicit KTHSettings(const QString& settingsPath);

    // The file's JSON object; nullopt when there is no file. A file that is
    // not a JSON object is logged and deleted, and reads as nullopt.
    std::optional<QVariantMap> settingsDictionary();
    void clearSettingsDictionary();

    QVariantMap appSettings();      // "app", empty when absent or not an object
    QString appStatus();            // app.status, null when absent or not a string
    bool appNeedsOnboarding();      // status "new"
    bool appUpdateRequired();       // app.update_required

    // <endpoint>/spi/v2/platforms/mac/apps/<bundle>/settings?build_version=…
    //   &display_version=…&instance=…[&icon_hash=…]&source=…
    static QUrl settingsURLForEndpoint(const QString& endpoint, const QString& instanceIdentifier,
                                       const QString& iconHash);

    const QString& settingsPath() const { return path_; }

private:
    QString path_;
    QMutex mutex_;
    std::optional<QVariantMap> cached_;
};
