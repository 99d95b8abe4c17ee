#include "capture/x11/QZRKeyboardEvents.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

unsigned int QZRKeyboardTools::keyCodeForChar(_XDisplay* display, char latinLetter) {
    if (!display) return 0;
    // Latin-1 letters are their own keysyms.
    return XKeysymToKeycode(display, KeySym(static_cast<unsigned char>(latinLetter)));
}

bool QZRKeyboardEvents::sendCommandC(_XDisplay* display) { return sendCommand(display, 'c'); }

bool QZRKeyboardEvents::sendCommand(_XDisplay* display, char latinLetter) {
    if (!display) return false;
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &ev, &err, &major, &minor)) return false;
    const unsigned int key = QZRKeyboardTools::keyCodeForChar(display, latinLetter);
    const unsigned int ctrl = XKeysymToKeycode(display, XK_Control_L);
    if (!key || !ctrl) return false;
    XTestFakeKeyEvent(display, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    XTestFakeKeyEvent(display, ctrl, False, CurrentTime);
    XFlush(display);
    return true;
}
