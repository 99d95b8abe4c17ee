#include "capture/PasteboardArchive.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QMimeData* PasteboardArchive::toMimeData() const {
    auto* md = new QMimeData;
    QString utf8Text;
    QString latinText;
    for (const auto& [name, bytes] : formats) {
        if (name == QLatin1String("UTF8_STRING") || name == QLatin1String("text/plain;charset=utf-8")) {
            utf8Text = QString::fromUtf8(bytes);
        } else if (name == QLatin1String("STRING")) {
            latinText = QString::fromLatin1(bytes);
        } else if (name.contains(u'/') && name != QLatin1String("text/plain")) {
            md->setData(name, bytes);
        }
    }
    if (!utf8Text.isNull())
        md->setText(utf8Text);
    else if (!latinText.isNull())
        md->setText(latinText);
    return md;
}

void PasteboardArchive::restore() const {
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb) return;
    if (formats.isEmpty()) {
        cb->clear(QClipboard::Clipboard);
        return;
    }
    cb->setMimeData(toMimeData(), QClipboard::Clipboard);
}
