#include "capture/CaptureText.h"

#include "query/DictUtils.h"

namespace capturetext {

QString selectionToQuery(const QString& selected) {
    if (selected.isNull()) return QString();
    const QString text = selected.trimmed();
    if (text.isEmpty() || text.size() > kSelectionLimit) return QString();
    return DictUtils::truncateScreenWords(text);
}

QString capToSelectionLimit(const QString& text) {
    QString t = text.trimmed();
    if (t.size() <= kSelectionLimit) return t;
    t.truncate(kSelectionLimit);
    if (t.back().isHighSurrogate()) t.chop(1);
    return t.trimmed();
}

Around cleanAround(const QString& text, int offset) {
    Around out;
    out.offset = offset;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QChar(0xFF1F) || c == u'?') {
            if (i < offset) --out.offset;
            continue;
        }
        out.text.append(c == u'\n' || c == u'\r' ? QChar(u' ') : c);
    }
    // A numbered list line ("3. apple") is looked up as its word.
    const QString cut = DictUtils::truncateScreenWords(out.text);
    if (cut != out.text) {
        out.text = cut;
        out.offset = 0;
    }
    out.offset = qBound(0, out.offset, int(out.text.size()));
    return out;
}

}  // namespace capturetext
