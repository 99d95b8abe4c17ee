// Mirvok's quit as far as the clipboard goes, with a clipboard too large for
// one X request: a Qt application on the X server owns a copied text and an
// image, then hands them to the real keeper (the executable given) and
// exits. Exit status 0: the hand-over says the keeper took them.
//
// usage: clipboard_handover <keeper executable> <text bytes> <image bytes>
#include "capture/x11/ClipboardKeeper.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdio>

#include "ClipboardPayload.h"

int main(int argc, char** argv) {
    if (argc != 4) return 64;
    QGuiApplication app(argc, argv);
    auto* md = new QMimeData;
    md->setText(QString::fromUtf8(clipboardpayload::text(QByteArray(argv[2]).toLongLong())));
    md->setData(QStringLiteral("image/png"), clipboardpayload::image(QByteArray(argv[3]).toLongLong()));
    QGuiApplication::clipboard()->setMimeData(md, QClipboard::Clipboard);
    if (!QGuiApplication::clipboard()->ownsClipboard()) return 65;
    std::puts("owner");
    std::fflush(stdout);
    return clipboardkeeper::handOverAtExit(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
