#pragma once

#include <QString>

// Whether a simulated Ctrl+C may go to the window under the pointer. In a
// terminal that key interrupts the program running there, and nothing tells
// a terminal from any other window for sure (IDE panes, remote desktops and
// virtual machine viewers carry classes of their own). So the key goes only
// on positive evidence: the accessibility bus shows a focused element with
// a text role under the pointer, no terminal role on its way up, in a window
// whose class is no known terminal, with the keyboard focus in the window
// the user pointed at. Without that evidence, no key, ever.
//
// Pure decision over facts gathered elsewhere, so any session type can
// gather its own.
class KeystrokeSafety {
public:
    struct Facts {
        bool overOwnWindow = false;   // the pointer is over one of our windows
        bool ownProcess = false;      // the window under the pointer is ours
        bool modifierHeld = false;    // Ctrl would join a held modifier
        bool focusUnderPointer = false;  // the keys would reach the window pointed at
        QString wmInstance;
        QString wmClass;
        bool focusedText = false;     // accessibility: focused text element under the pointer
        bool terminalRole = false;    // accessibility: a terminal holds the point
        bool keyForC = false;         // the keyboard map has a key typing "c"
    };

    enum class Verdict {
        Send,
        OwnWindow,
        ModifierHeld,
        FocusElsewhere,
        TerminalClass,
        TerminalRole,
        NoTextEvidence,
        NoKey,
    };

    static Verdict judge(const Facts& facts);
    static const char* describe(Verdict v);

    // Terminal emulators by WM_CLASS (instance or class, any case).
    static bool isTerminalClass(const QString& instance, const QString& className);
};
