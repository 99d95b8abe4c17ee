#pragma once

struct _XDisplay;

// The key code that types a character on the current keyboard map, and a
// synthesised Ctrl+<key> stroke through XTest. Called on the capture thread
// with its own connection.
class QZRKeyboardTools {
public:
    // 0 when no key of the current map yields the character: the caller must
    // then send nothing (another key would do something else entirely).
    static unsigned int keyCodeForChar(_XDisplay* display, char latinLetter);
};

class QZRKeyboardEvents {
public:
    // Ctrl+C, the copy of nearly every X11 application; false when no key
    // yields "c" or XTest is missing.
    static bool sendCommandC(_XDisplay* display);
    static bool sendCommand(_XDisplay* display, char latinLetter);
};
