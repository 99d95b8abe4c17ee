#pragma once

#include "kithost/KTHIcon.h"
#include "kithost/binary/MachO.h"

#include <QMap>
#include <QString>
#include <memory>
#include <optional>

// Who this build of the application is: the architecture → UUID map of its
// executable's slices, the instance identifier derived from it, SDK
// versions (Mach-O only), the icon and the bundle identifier.
//
// On Linux the executable is ELF: one slice named from e_machine whose UUID
// is the first 16 bytes of its GNU build-id; no SDK versions. Mach-O files
// (thin or fat) are read the same way as on their own system.
class KTHApplicationIdentiferModel {
public:
    // Reads the running executable (/proc/self/exe). Null when it cannot
    // be mapped.
    static std::unique_ptr<KTHApplicationIdentiferModel> create(const QString& installID);
    static std::unique_ptr<KTHApplicationIdentiferModel> createForExecutable(const QString& installID,
                                                                            const QString& executablePath);

    // SHA-1 over the UUIDs concatenated in the order of their sorted keys.
    static QString instanceIdentifierForMap(const QMap<QString, QString>& architectureUUIDMap);

    const QMap<QString, QString>& architectureUUIDMap() const { return map_; }
    const QString& installID() const { return installID_; }
    const std::optional<KTHIcon>& icon() const { return icon_; }
    const QString& bundleIdentifier() const { return bundleIdentifier_; }
    const QString& instanceIdentifier() const { return instanceIdentifier_; }
    std::optional<CRKMachOVersion> builtSDK() const { return builtSDK_; }
    std::optional<CRKMachOVersion> minimumSDK() const { return minimumSDK_; }
    QString builtSDKString() const;     // "%d.%d.%d", null when absent
    QString minimumSDKString() const;

private:
    KTHApplicationIdentiferModel() = default;

    QMap<QString, QString> map_;
    QString installID_;
    std::optional<KTHIcon> icon_;
    QString bundleIdentifier_;
    QString instanceIdentifier_;
    std::optional<CRKMachOVersion> builtSDK_;
    std::optional<CRKMachOVersion> minimumSDK_;
};

// "%d.%d.%d", or null for an absent version.
QString CRKMachOVersionString(const std::optional<CRKMachOVersion>& version);
