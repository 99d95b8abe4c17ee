#pragma once

#include "capture/x11/PasteboardArchive.h"

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

    // What accessibility saw under the pointer.
    struct Seen {
        bool focusedText = false;   // a focused element with a text role
        bool terminalRole = false;  // a terminal on its way up
    };

    // Sends Ctrl+C to the window under the pointer and reads what it put on
    // the clipboard, only when KeystrokeSafety says so from the window's
    // facts and what accessibility saw there (`seen`), and only when the
    // clipboard can be saved whole first.
    static Copy selectedText(X11SelectionReader& x, bool overOwnWindow, const Seen& seen);

    // The clipboard's text, null when it holds none. Our own clipboard is
    // read from memory; another owner gets 300 ms to answer.
    static QString pasteText();
};
