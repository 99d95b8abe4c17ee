#pragma once

#include <QIODevice>
#include <QSettings>
#include <QVariant>

// The preferences file's own reader and writer, registered with QSettings.
// The syntax is QSettings' INI as it writes plain values (sections, %-escaped
// keys, quoted and \-escaped strings, comma lists, @ByteArray(...)), so files
// written before stay readable, but nothing read from disk is ever decoded
// through QDataStream: a typed value (@Variant(, @DateTime(, @Rect(...) is
// refused and its key left out, because a hostile or damaged one made Qt's
// decoder loop and allocate without end.
namespace plainini {

// The format to open the preferences file with (registered once).
QSettings::Format format();

// False when the bytes are not a preferences file at all: not UTF-8, control
// characters, a line that is neither a section, a comment nor key=value.
// Refused values do not fail the file; they are left out and logged.
bool read(QIODevice& device, QSettings::SettingsMap& map);
bool write(QIODevice& device, const QSettings::SettingsMap& map);

// What a value is stored as: strings, numbers, booleans, byte arrays and
// lists of strings as they are; dates and times as ISO 8601 text; anything
// else (maps, images, ...) cannot be stored and comes back invalid.
QVariant storable(const QVariant& value);

}  // namespace plainini
