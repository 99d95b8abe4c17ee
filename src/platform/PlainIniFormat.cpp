#include "platform/PlainIniFormat.h"

#include "platform/PrivateFiles.h"

#include <QDateTime>
#include <QDebug>
#include <QFileDevice>
#include <QStringDecoder>
#include <QUrl>

namespace plainini {
namespace {

const char kHex[] = "0123456789ABCDEF";

bool isHex(char16_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hexValue(char16_t c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Keys as QSettings writes them: "/" as "\", anything but [A-Za-z0-9_.-]
// as %XX, beyond Latin-1 as %UXXXX.
QString unescapeKey(QStringView key) {
    QString out;
    out.reserve(key.size());
    for (qsizetype i = 0; i < key.size();) {
        const char16_t c = key[i].unicode();
        if (c == '\\') {
            out += u'/';
            ++i;
            continue;
        }
        const qsizetype digits = i + 1 < key.size() && key[i + 1] == u'U' ? 4 : 2;
        const qsizetype first = i + 1 + (digits == 4 ? 1 : 0);
        bool ok = c == '%' && first + digits <= key.size();
        const ushort code = ok ? key.mid(first, digits).toUShort(&ok, 16) : 0;
        if (!ok) {
            out += QChar(c);
            ++i;
            continue;
        }
        out += QChar(code);
        i = first + digits;
    }
    return out;
}

void escapeKey(QStringView key, QByteArray& out) {
    for (QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == '/') {
            out += '\\';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                   c == '-' || c == '.') {
            out += char(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
        }
    }
}

// One value: quoted parts, backslash escapes (\n, \x41, \101 ...), and
// unquoted commas that make it a list. Returns true for a list.
bool unescapeValue(QStringView in, QString& single, QStringList& list) {
    static const char16_t codes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
                                        {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    bool isList = false, inQuotes = false, quoted = false;
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < in.size() && (in[i] == u' ' || in[i] == u'\t')) ++i;
    };
    auto chop = [&](qsizetype limit) {
        while (single.size() > limit && single.back() == u' ') single.chop(1);
    };
    skipSpaces();
    qsizetype chopLimit = 0;
    while (i < in.size()) {
        const char16_t c = in[i].unicode();
        if (c == '\\') {
            if (++i >= in.size()) break;
            const char16_t e = in[i++].unicode();
            bool named = false;
            for (const auto& code : codes)
                if (e == code[0]) {
                    single += QChar(code[1]);
                    named = true;
                    break;
                }
            if (!named && (e == 'x' || (e >= '0' && e <= '7'))) {
                char16_t v = e == 'x' ? 0 : e - '0';
                if (e == 'x')
                    while (i < in.size() && isHex(in[i].unicode())) v = char16_t((v << 4) + hexValue(in[i++].unicode()));
                else
                    while (i < in.size() && in[i] >= u'0' && in[i] <= u'7') v = char16_t((v << 3) + (in[i++].unicode() - '0'));
                single += QChar(v);
            }
            chopLimit = single.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) skipSpaces();
        } else if (c == ',' && !inQuotes) {
            if (!quoted) chop(chopLimit);
            isList = true;
            list << single;
            single.clear();
            quoted = false;
            chopLimit = 0;
            ++i;
            skipSpaces();
        } else {
            single += in[i++];
        }
    }
    if (!quoted) chop(chopLimit);
    if (isList) list << single;
    return isList;
}

void appendUtf8(char32_t c, QByteArray& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void escapeString(const QString& s, QByteArray& out) {
    const qsizetype start = out.size();
    bool needsQuotes = false, escapeNextIfHex = false;
    const bool bytes = s.startsWith(QLatin1String("@ByteArray("));
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        // A character beyond the BMP is two UTF-16 units: written as one
        // UTF-8 sequence, never unit by unit (each half alone is not text).
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode()) && !bytes) {
            appendUtf8(QChar::surrogateToUcs4(c, s[i + 1].unicode()), out);
            escapeNextIfHex = false;
            ++i;
            continue;
        }
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        if (escapeNextIfHex && isHex(c)) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (c) {
        case '\0': out += "\\0"; escapeNextIfHex = true; break;
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        case '"':
        case '\\': out += '\\'; out += char(c); break;
        default:
            // A lone surrogate has no UTF-8 form; its escape reads back as it.
            if (c <= 0x1F || c == 0x7F || (c > 0x7F && bytes) || QChar::isSurrogate(c)) {
                out += "\\x" + QByteArray::number(c, 16);
                escapeNextIfHex = true;
            } else {
                appendUtf8(c, out);
            }
        }
    }
    // The reader trims every kind of white space around a line (U+3000, the
    // ideographic space, too): only quotes keep it.
    if (needsQuotes || (!s.isEmpty() && (s.front().isSpace() || s.back().isSpace()))) {
        out.insert(start, '"');
        out += '"';
    }
}

// A string value as read: "@@x" is the text "@x", @ByteArray(...) and
// @String(...) are plain; every other "@" form is a serialised type.
QVariant decodeScalar(const QString& s, bool& refused) {
    if (!s.startsWith(u'@')) return s;
    if (s.startsWith(QLatin1String("@@"))) return s.mid(1);
    if (s == QLatin1String("@Invalid()")) return QStringList();
    if (s.endsWith(u')')) {
        if (s.startsWith(QLatin1String("@ByteArray("))) return s.mid(11, s.size() - 12).toLatin1();
        if (s.startsWith(QLatin1String("@String("))) return s.mid(8, s.size() - 9);
    }
    refused = true;
    return {};
}

QString encodeScalar(const QVariant& v) {
    if (v.typeId() == QMetaType::QByteArray)
        return QStringLiteral("@ByteArray(") + QLatin1String(v.toByteArray()) + u')';
    QString s = v.toString();
    if (s.contains(QChar::Null)) return QStringLiteral("@String(") + s + u')';
    if (s.startsWith(u'@')) s.prepend(u'@');
    return s;
}

bool isPlainScalar(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// Physical lines cut at an unquoted ";" (the rest is a comment), as
// QSettings reads them. Returns false for a quote left open.
bool stripComment(QStringView& line) {
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'\\') ++i;
        else if (c == u'"') inQuotes = !inQuotes;
        else if (c == u';' && !inQuotes) {
            line = line.first(i);
            break;
        }
    }
    return !inQuotes;
}

}  // namespace

bool read(QIODevice& device, QSettings::SettingsMap& map) {
    QByteArray data = device.readAll();
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(data);
    if (utf8.hasError()) return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return false;

    QString section;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) return false;
            const QStringView name = line.sliced(1, line.size() - 2).trimmed();
            if (name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) section.clear();
            else if (name.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0) section = name.mid(1).toString() + u'/';
            else section = unescapeKey(name) + u'/';
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) return false;
        const QString key = section + unescapeKey(line.first(eq).trimmed());
        const QStringView asWritten = line.sliced(eq + 1);
        QStringView raw = asWritten;
        if (!stripComment(raw)) return false;
        QString single;
        QStringList list;
        bool refused = false;
        QVariant value;
        if (unescapeValue(raw, single, list)) {
            // Items are text: "@@x" and @String(...) (text with a NUL) as written.
            for (QString& item : list)
                if (item.startsWith(u'@')) {
                    if (item.startsWith(QLatin1String("@@"))) item.remove(0, 1);
                    else if (item.startsWith(QLatin1String("@String(")) && item.endsWith(u')')) item = item.mid(8, item.size() - 9);
                    else refused = true;
                }
            value = list;
        } else {
            value = decodeScalar(single, refused);
        }
        if (refused) {
            qWarning().noquote() << QStringLiteral("preferences: the stored value of %1 is of a type Mirvok does not "
                                                   "read; it is kept as it is")
                                        .arg(key);
            value = QVariant::fromValue(KeptLine{asWritten.toString()});
        }
        map.insert(key, value);
    }
    return true;
}

namespace {

void writeValue(const QVariant& value, QByteArray& out) {
    if (value.typeId() == QMetaType::QStringList) {
        const QStringList items = value.toStringList();
        if (items.isEmpty()) out += "@Invalid()";
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (i) out += ", ";
            escapeString(encodeScalar(items[i]), out);
        }
    } else {
        escapeString(encodeScalar(value), out);
    }
}

}  // namespace

bool isKept(const QVariant& value) { return value.metaType() == QMetaType::fromType<KeptLine>(); }

bool sameOnDisk(const QVariant& a, const QVariant& b) {
    if (isKept(a) || isKept(b)) return isKept(a) && isKept(b) && a.value<KeptLine>() == b.value<KeptLine>();
    const QVariant sa = storable(a), sb = storable(b);
    if (!sa.isValid() || !sb.isValid()) return false;
    QByteArray ea, eb;
    writeValue(sa, ea);
    writeValue(sb, eb);
    return ea == eb;
}

bool write(QIODevice& device, const QSettings::SettingsMap& map) {
    // QSettings hands us the new file (QSaveFile's, made 0600 and then given
    // the old file's mode, or the umask's when there was none): narrowed
    // here before anything is in it, or saved as it is where the file
    // system refuses modes (the preferences and the session token would be
    // lost at every run).
    if (auto* file = qobject_cast<QFileDevice*>(&device)) privatefiles::narrowOpenFile(*file);
    QByteArray out;
    QString current = QStringLiteral("\x01");  // no section written yet
    // Keys without a group first, under [General], as QSettings does.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            // "/a" and "a/" have no section of their own: their slashes go
            // escaped into the key (an empty section or key would not read).
            qsizetype slash = it.key().lastIndexOf(u'/');
            if (slash == 0 || slash == it.key().size() - 1) slash = -1;
            if ((slash < 0) != (pass == 0)) continue;
            const bool kept = isKept(it.value());
            const QVariant value = kept ? it.value() : storable(it.value());
            if (!value.isValid()) continue;
            const QString section = slash < 0 ? QString() : it.key().left(slash);
            if (section != current) {
                if (!out.isEmpty()) out += '\n';
                out += '[';
                if (section.isEmpty()) out += "General";
                else if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) out += '%' + section.toUtf8();
                else escapeKey(section, out);
                out += "]\n";
                current = section;
            }
            escapeKey(QStringView(it.key()).mid(slash + 1), out);
            out += '=';
            if (kept) out += value.value<KeptLine>().text.toUtf8();
            else writeValue(value, out);
            out += '\n';
        }
    }
    return device.write(out) == out.size();
}

QVariant storable(const QVariant& value) {
    if (isPlainScalar(value)) return value;
    switch (value.typeId()) {
    case QMetaType::QDateTime: return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QDate: return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime: return value.toTime().toString(Qt::ISODateWithMs);
    case QMetaType::QUrl: return value.toUrl().toString();
    case QMetaType::QChar: return QString(value.toChar());
    case QMetaType::QStringList: return value;
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        // One item reads back as that item, not as a list.
        if (items.size() == 1) return storable(items.front());
        QStringList out;
        for (const QVariant& item : items) {
            if (!isPlainScalar(item) || item.typeId() == QMetaType::QByteArray) return {};
            out << item.toString();
        }
        return out;
    }
    default: return {};
    }
}

QSettings::Format format() {
    static const QSettings::Format f = QSettings::registerFormat(QStringLiteral("conf"), &read, &write);
    return f;
}

}  // namespace plainini
