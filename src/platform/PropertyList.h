#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// The XML property-list format, both ways. Values map to Qt types:
// dict ↔ QVariantMap, array ↔ QVariantList, string ↔ QString, integer ↔
// qlonglong (qulonglong above its range), real ↔ double, true/false ↔ bool,
// data ↔ QByteArray (base64 in the file), date ↔ QDateTime (UTC, ISO 8601).
namespace PropertyList {

// The root value. On malformed input `ok` is false and the result holds
// what was read before the error (so a damaged Info.plist still yields its
// early keys). Nesting deeper than 64 levels is an error.
QVariant parse(const QByteArray& xml, bool* ok = nullptr);

// The XML form of a value; values of other types are written by their
// string form. Never fails.
QByteArray serialize(const QVariant& root);

}  // namespace PropertyList
