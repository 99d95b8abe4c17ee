#pragma once

#include <QString>
#include <QVariantMap>

// What the component says about the application and the host. Stateless
// and safe from any thread. On Linux: no store receipt exists, the model is
// the DMI product name, the OS build version is the kernel release and the
// OS version is VERSION_ID of /etc/os-release.

enum KTHApplicationInstallSource { KTHInstallSourceAppStore = 4, KTHInstallSourceBeta = 3, KTHInstallSourceOther = 1 };

struct KTHHostOSVersion {
    qint64 major = 10;
    qint64 minor = 0;
    qint64 patch = 0;
};

QString KTHApplicationBundleIdentifier();   // "/" replaced by "_"
QString KTHApplicationBuildVersion();
QString KTHApplicationDisplayVersion();
QString KTHApplicationName();               // display name, else name, else build version
bool KTHApplicationHasAppStoreReceipt();
bool KTHApplicationSignedForDistribution();
int KTHApplicationInstallSource();
bool KTHApplicationMayReportDeviceIdentifiers();
// The same rule over a given info dictionary (tests).
bool KTHApplicationMayReportDeviceIdentifiers(const QVariantMap& info);

KTHHostOSVersion KTHHostOperatingSystemVersion();
// VERSION_ID text "12" or "22.04" → the record; fields that do not read
// keep the defaults 10, 0, 0.
KTHHostOSVersion KTHHostOSVersionFromText(const QString& versionId);
int KTHHostOSVersionCode(const KTHHostOSVersion& version);
QString KTHHostOSDisplayVersion();
QString KTHHostOSBuildVersion();
QString KTHHostModel();
