#pragma once

#include <QString>
#include <QVariantMap>

// What the application knows about itself: read once from the resources'
// Info.plist (an XML property list). Missing or unreadable files give the
// built-in identifier and empty versions, never a failure.
namespace BundleInfo {

inline constexpr char kDefaultIdentifier[] = "com.mirvok.dict";

QString identifier();          // CFBundleIdentifier
QString shortVersion();        // CFBundleShortVersionString, e.g. "0.1.0"
QString buildVersion();        // CFBundleVersion, e.g. "100"
// The property list's top-level dictionary, nested values included.
QVariantMap infoDictionary();
QVariant objectForInfoDictionaryKey(const QString& key);

// Parses an XML property list's top-level dictionary (PropertyList::parse);
// bad input gives what was read before the error.
QVariantMap parsePropertyList(const QByteArray& xml);

// The distribution channel from the resources' "vendor" file with every
// space and line feed removed; "unknown" when the file is missing or
// unreadable.
QString vendorChannel();

}  // namespace BundleInfo

// The bundle's short version string.
QString appShortVersion();
