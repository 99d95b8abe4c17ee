#include "platform/UrlEscaping.h"

#include <cstring>

namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Characters the legacy escaping leaves alone besides letters and digits.
constexpr char kLegacyKept[] = "-_.!~*'();/?:@&=+$,";

const char* tableCode(QChar c) {
    switch (c.unicode()) {
    case '<': return "%3C";
    case '>': return "%3E";
    case '\\': return "%5C";
    case '^': return "%5E";
    case '[': return "%5B";
    case ']': return "%5D";
    case '`': return "%60";
    case '+': return "%2B";
    case '$': return "%24";
    case ',': return "%2C";
    case '@': return "%40";
    case ':': return "%3A";
    case ';': return "%3B";
    case '/': return "%2F";
    case '!': return "%21";
    case '#': return "%23";
    case '?': return "%3F";
    case '=': return "%3D";
    case '&': return "%26";
    case '\'': return "%27";
    default: return nullptr;
    }
}

}  // namespace

QString legacyEscape(const QString& text) {
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const unsigned char b = static_cast<unsigned char>(ch);
        if (b < 0x80 && (isUnreserved(ch) || (ch != '\0' && std::strchr(kLegacyKept, ch)))) {
            out.append(QLatin1Char(ch));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(hex[b >> 4]));
            out.append(QLatin1Char(hex[b & 0xF]));
        }
    }
    return out;
}

QString escapeQueryValue(const QString& text) {
    const QString first = legacyEscape(text);
    QString out;
    out.reserve(first.size() + 16);
    for (const QChar c : first) {
        if (const char* code = tableCode(c))
            out.append(QLatin1String(code));
        else
            out.append(c);
    }
    return out;
}
