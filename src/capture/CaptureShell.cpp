#include "capture/CaptureShell.h"

#include "capture/ScrTransController.h"
#include "capture/ScreenTransController.h"
#include "capture/WordStrokeController.h"
#include "capture/X11SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

namespace {
constexpr int kPasteTimeoutMs = 300;
}

CaptureShell::CaptureShell() = default;

CaptureShell::~CaptureShell() {
    delete screenTrans_;
    delete wordStroke_;
}

void CaptureShell::startScreenTrans() {
    if (screenTrans_) return;
    screenTrans_ = new ScreenTransController();
    screenTrans_->checkMouseMove();
    screenTrans_->startMonitor();
}

void CaptureShell::startWordStroke() {
    if (wordStroke_) return;
    wordStroke_ = new WordStrokeController();
    wordStroke_->startMonitor();
    // The popup's page loads once the start-up is over, so the first word
    // shows as fast as the later ones.
    QTimer::singleShot(2000, wordStroke_, [] { ScrTransController::getInstance(); });
}

QString CaptureShell::pasteText() const {
    QClipboard* cb = QGuiApplication::clipboard();
    // Our own clipboard is answered from memory; elsewhere than on X11 Qt's
    // reading is all there is.
    if (!cb || cb->ownsClipboard() || QGuiApplication::platformName() != QLatin1String("xcb"))
        return CaptureServices::pasteText();
    X11SelectionReader reader;
    if (!reader.isValid()) return CaptureServices::pasteText();
    return reader.readText(X11SelectionReader::Clipboard, kPasteTimeoutMs);
}
