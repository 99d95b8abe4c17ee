#pragma once

#include <QIODevice>
#include <QSettings>
#include <QVariant>

// The preferences file's own reader and writer, registered with QSettings.
// The syntax is QSettings' INI as it writes plain values (sections, %-escaped
// keys, quoted and \-escaped strings, comma lists, @ByteArray(...)), so files
// written before stay readable, but nothing read from disk is ever decoded
// through QDataStream: a typed value (@Variant(, @DateTime(, @Rect(...) is
// refused, because a hostile or damaged one made Qt's decoder loop and
// allocate without end. A refused value is not lost: it is read as a
// KeptLine, which no reader sees, and written back as it stood until the
// key is set or removed.
namespace plainini {

// The text after "=" of a line whose value is refused.
struct KeptLine {
    QString text;
    bool operator==(const KeptLine& other) const { return text == other.text; }
};

// True for a value read as a KeptLine: the key is, for Mirvok, not there.
bool isKept(const QVariant& value);

// Whether two values are written the same way (a stored "42" and a new 42
// are; setting a value to what is stored changes nothing on disk).
bool sameOnDisk(const QVariant& a, const QVariant& b);

// The format to open the preferences file with (registered once).
QSettings::Format format();

// False when the bytes are not a preferences file at all: not UTF-8, control
// characters, a line that is neither a section, a comment nor key=value.
// Refused values do not fail the file; they are kept unread and logged.
// An empty list is stored as Qt does, "@Invalid()", and reads back empty.
bool read(QIODevice& device, QSettings::SettingsMap& map);
// A file written here is the user's alone (0600), whatever the umask and
// whether or not the file it replaces still exists: QSettings writes a new
// file and renames it over the old one, and the new one is narrowed before
// a byte of it is written.
bool write(QIODevice& device, const QSettings::SettingsMap& map);

// What a value is stored as: strings, numbers, booleans, byte arrays and
// lists of strings as they are; dates and times as ISO 8601 text; anything
// else (maps, images, ...) cannot be stored and comes back invalid.
QVariant storable(const QVariant& value);

}  // namespace plainini

Q_DECLARE_METATYPE(plainini::KeptLine)
