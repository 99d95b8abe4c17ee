#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

struct _XDisplay;

// The X selections and windows as the capture thread reads them, over an
// Xlib connection of its own (never Qt's clipboard, which would wait on the
// main thread for an owner that may be stopped). Every read has a time-out.
// Made, used and destroyed on one thread.
class X11SelectionReader {
public:
    enum Selection { Primary, Clipboard };

    X11SelectionReader();
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    bool isValid() const { return display_ != nullptr; }
    _XDisplay* display() const { return display_; }

    bool hasOwner(Selection s) const;
    // The owner's TIMESTAMP answer, or the time XFixes last saw the owner
    // change, whichever is later; 0 when neither is known.
    quint32 ownedSince(Selection s, int timeoutMs);
    // The selection as text (UTF8_STRING, else STRING); null on no owner,
    // refusal, an incremental transfer or time-out.
    QString readText(Selection s, int timeoutMs);

    // Every format the clipboard offers, read whole: false when any one of
    // them cannot be read in time, is sent incrementally, or the total
    // passes maxBytes. No owner: true with nothing saved.
    bool saveClipboard(QList<QPair<QString, QByteArray>>* formats, int timeoutMs, qint64 maxBytes);

    // Counts owner changes of the selection seen so far (XFixes).
    quint64 ownerChanges(Selection s);
    // Waits (this thread only) until the owner changes after `since`, at
    // most timeoutMs; true when it did.
    bool waitForOwnerChange(Selection s, quint64 since, int timeoutMs);

    // Windows. "Top level" is the root's child: a window manager's frame or
    // an unmanaged client.
    unsigned long pointerTopLevel(int* x = nullptr, int* y = nullptr, unsigned int* mask = nullptr) const;
    unsigned long focusTopLevel() const;
    // WM_CLASS (instance and class) of the client inside a top level.
    QPair<QString, QString> wmClass(unsigned long topLevel) const;
    // Whether a pointer state mask holds Shift, Ctrl, Alt or a logo key.
    static bool hasModifier(unsigned int mask);
    // _NET_WM_PID of the client inside a top level; 0 when absent.
    qint64 pid(unsigned long topLevel) const;

private:
    bool convert(unsigned long selection, unsigned long target, QByteArray* out, unsigned long* type,
                 int timeoutMs);
    void drain();
    bool waitEvent(int timeoutMs, int wantedType, void* out);
    unsigned long client(unsigned long topLevel) const;
    unsigned long atom(const char* name) const;
    unsigned long selectionAtom(Selection s) const;

    _XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    int fixesEvent_ = -1;
    quint32 ownerTime_[2] = {0, 0};
    quint64 changes_[2] = {0, 0};
};
