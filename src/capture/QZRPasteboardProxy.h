#pragma once

#include "capture/PasteboardArchive.h"

#include <QString>

class X11SelectionReader;

// The simulated copy and the clipboard's text. selectedText runs on the
// capture thread only (it waits up to 1.25 s for the copy, and longer for a
// late one); pasteText is for the main thread.
class QZRPasteboardProxy {
public:
    struct Copy {
        QString text;          // the copied text; empty when nothing came
        bool restoreNeeded = false;  // the copy replaced the clipboard
        PasteboardArchive saved;     // what to put back then
    };

    // Sends Ctrl+C to the window under the pointer and reads what it put on
    // the clipboard, unless any guard says no: our own window or a
    // terminal (window class, or `terminalRole` from accessibility), a held
    // modifier, the focus elsewhere than under the pointer, no key for "c",
    // or a clipboard that cannot be saved whole first.
    static Copy selectedText(X11SelectionReader& x, bool overOwnWindow, bool terminalRole);

    // The clipboard's text, null when it holds none. Our own clipboard is
    // read from memory; another owner gets 300 ms to answer.
    static QString pasteText();
};
