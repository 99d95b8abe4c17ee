#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QMimeData;

// The clipboard's formats as saved before a simulated copy (X target name,
// bytes), and their way back onto the clipboard.
struct PasteboardArchive {
    QList<QPair<QString, QByteArray>> formats;

    // A QMimeData offering the saved formats: text targets become the text,
    // named MIME types keep their bytes; X-only encodings of the same text
    // are left for Qt to offer again.
    QMimeData* toMimeData() const;
    // Puts the saved formats back (main thread). An empty archive clears the
    // clipboard, as it was empty before.
    void restore() const;
};
