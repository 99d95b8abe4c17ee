#include "capture/x11/QZRPasteboardProxy.h"

#include "capture/x11/KeystrokeSafety.h"
#include "capture/x11/QZRKeyboardEvents.h"
#include "capture/x11/X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>

#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcCopy, "mirvok.capture", QtInfoMsg)
constexpr int kReadTimeoutMs = 300;
constexpr int kCopyWaitMs = 1250;
// A copy that lands after we stopped waiting still replaced the user's
// clipboard: keep watching this much longer so it can be put back.
constexpr int kLateCopyMs = 2000;
constexpr qint64 kClipboardLimit = 32 * 1024 * 1024;
}  // namespace

QZRPasteboardProxy::Copy QZRPasteboardProxy::selectedText(X11SelectionReader& x, bool overOwnWindow,
                                                          const Seen& seen) {
    Copy out;
    if (!x.isValid()) return out;
    KeystrokeSafety::Facts f;
    unsigned int mask = 0;
    const unsigned long under = x.pointerTopLevel(nullptr, nullptr, &mask);
    f.overOwnWindow = overOwnWindow;
    f.ownProcess = under && x.pid(under) == qint64(getpid());
    f.modifierHeld = X11SelectionReader::hasModifier(mask);
    // The keys go to the focus: it must be the window the user selected in.
    f.focusUnderPointer = under && x.focusTopLevel() == under;
    const auto cls = under ? x.wmClass(under) : QPair<QString, QString>();
    f.wmInstance = cls.first;
    f.wmClass = cls.second;
    f.focusedText = seen.focusedText;
    f.terminalRole = seen.terminalRole;
    f.keyForC = QZRKeyboardTools::keyCodeForChar(x.display(), 'c') != 0;
    const KeystrokeSafety::Verdict verdict = KeystrokeSafety::judge(f);
    if (verdict != KeystrokeSafety::Verdict::Send) {
        qCDebug(lcCopy) << "no copy:" << KeystrokeSafety::describe(verdict);
        return out;
    }
    // Only a clipboard we can put back whole may be overwritten.
    if (!x.saveClipboard(&out.saved.formats, kReadTimeoutMs, kClipboardLimit)) {
        qCInfo(lcCopy) << "clipboard cannot be saved whole; no copy";
        return out;
    }
    const quint64 before = x.ownerChanges(X11SelectionReader::Clipboard);
    if (!QZRKeyboardEvents::sendCommandC(x.display())) return out;
    if (!x.waitForOwnerChange(X11SelectionReader::Clipboard, before, kCopyWaitMs)) {
        qCDebug(lcCopy) << "the copy put nothing on the clipboard";
        out.restoreNeeded = x.waitForOwnerChange(X11SelectionReader::Clipboard, before, kLateCopyMs);
        return out;
    }
    out.restoreNeeded = true;
    out.text = x.readText(X11SelectionReader::Clipboard, kReadTimeoutMs);
    return out;
}

QString QZRPasteboardProxy::pasteText() {
    QClipboard* cb = QGuiApplication::clipboard();
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (!cb || cb->ownsClipboard() || !x11) {
        const QMimeData* data = cb ? cb->mimeData() : nullptr;
        return data && data->hasText() ? data->text() : QString();
    }
    X11SelectionReader reader;
    return reader.isValid() ? reader.readText(X11SelectionReader::Clipboard, kReadTimeoutMs) : QString();
}
