#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The one line a browser extension sends to the bridge:
//   GET /getword?word=<GB18030, %-escaped>&pos=N&type=T HTTP/1.1
// Pure functions over bytes from the network: nothing here trusts its input.
namespace browserbridge {

struct BrowserWord {
    int type = 0;  // 0 the word under the pointer, 1 a selection
    int pos = 0;   // the pointer's character offset in the word's text
    QString word;
};

// The request of one line (without its line feed; a trailing carriage
// return belongs to the protocol word). Fields are read by name, so any
// order works; nothing when a field is missing, an escape is malformed, the
// bytes are not GB18030, or the word is empty.
std::optional<BrowserWord> parseRequestLine(const QByteArray& line);

// %XX escapes undone; nothing when one is malformed. Other bytes pass as
// they are ("+" stays "+": the extensions escape blanks as %20).
std::optional<QByteArray> percentDecode(const QByteArray& escaped);

// GB18030 bytes as text; nothing on any invalid or cut sequence. A fresh
// decoder each time, so one request's cut byte never reaches the next.
std::optional<QString> decodeGb18030(const QByteArray& bytes);

// The signal's text, "type|pos|word".
QString notificationObject(const BrowserWord& w);

// That text read back, the numbers as the request line's are read (leading
// digits; "12abc" is 12); the word keeps any bars of its own. Nothing
// without both bars. The signal may come from any process on the bus.
std::optional<BrowserWord> readNotificationObject(const QString& object);

}  // namespace browserbridge
