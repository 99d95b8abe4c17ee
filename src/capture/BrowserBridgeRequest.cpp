#include "capture/BrowserBridgeRequest.h"

#include <QList>
#include <QStringDecoder>

#include <climits>

namespace browserbridge {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Leading blanks, a sign, digits; what follows is ignored, as the
// extensions' numbers have always been read. Saturates instead of wrapping.
int leadingInteger(const QByteArray& s) {
    qsizetype i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    qint64 v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > INT_MAX) {
            v = INT_MAX;
            break;
        }
    }
    return int(negative ? -v : v);
}

}  // namespace

std::optional<QByteArray> percentDecode(const QByteArray& escaped) {
    QByteArray out;
    out.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c != '%') {
            out.append(c);
            continue;
        }
        if (i + 2 >= escaped.size()) return std::nullopt;
        const int hi = hexValue(escaped[i + 1]);
        const int lo = hexValue(escaped[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.append(char(hi * 16 + lo));
        i += 2;
    }
    return out;
}

std::optional<QString> decodeGb18030(const QByteArray& bytes) {
    QStringDecoder decoder("GB18030", QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

std::optional<BrowserWord> parseRequestLine(const QByteArray& line) {
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first < 0 || last <= first) return std::nullopt;
    const QByteArray target = line.mid(first + 1, last - first - 1);
    const qsizetype query = target.indexOf('?');
    if (query < 0) return std::nullopt;
    std::optional<QByteArray> word, pos, type;
    for (const QByteArray& field : target.mid(query + 1).split('&')) {
        const qsizetype eq = field.indexOf('=');
        if (eq < 0) continue;
        const QByteArray name = field.left(eq);
        // The first of a repeated name wins.
        if (name == "word" && !word) word = field.mid(eq + 1);
        else if (name == "pos" && !pos) pos = field.mid(eq + 1);
        else if (name == "type" && !type) type = field.mid(eq + 1);
    }
    if (!word || !pos || !type) return std::nullopt;
    const std::optional<QByteArray> bytes = percentDecode(*word);
    if (!bytes) return std::nullopt;
    std::optional<QString> text = decodeGb18030(*bytes);
    if (!text || text->isEmpty()) return std::nullopt;
    return BrowserWord{leadingInteger(*type), leadingInteger(*pos), *text};
}

QString notificationObject(const BrowserWord& w) {
    return QStringLiteral("%1|%2|%3").arg(w.type).arg(w.pos).arg(w.word);
}

std::optional<BrowserWord> readNotificationObject(const QString& object) {
    const qsizetype first = object.indexOf(u'|');
    const qsizetype second = first < 0 ? -1 : object.indexOf(u'|', first + 1);
    if (second < 0) return std::nullopt;
    return BrowserWord{leadingInteger(object.left(first).trimmed().toUtf8()),
                       leadingInteger(object.mid(first + 1, second - first - 1).trimmed().toUtf8()),
                       object.mid(second + 1)};
}

}  // namespace browserbridge
