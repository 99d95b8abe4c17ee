#include "capture/wayland/PrimarySelectionLines.h"

#include <utility>

namespace primaryselection {

QList<std::optional<QString>> takeLines(QByteArray& pending, bool& dropping, qsizetype maxBytes) {
    const qsizetype maxLine = (maxBytes + 2) / 3 * 4;
    QList<std::optional<QString>> out;
    qsizetype from = 0;
    for (qsizetype nl; (nl = pending.indexOf('\n', from)) >= 0; from = nl + 1) {
        std::optional<QString> text;
        if (std::exchange(dropping, false)) {
            out.append(text);
            continue;
        }
        const QByteArray line = pending.mid(from, nl - from).trimmed();
        if (line.size() <= maxLine) {
            const auto bytes = QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
            if (bytes && bytes.decoded.size() <= maxBytes) text = QString::fromUtf8(bytes.decoded);
        }
        out.append(text);
    }
    pending.remove(0, from);
    if (dropping || pending.size() > maxLine + 2) {
        pending.clear();
        dropping = true;
    }
    return out;
}

}  // namespace primaryselection
