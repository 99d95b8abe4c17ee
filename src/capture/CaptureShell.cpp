#include "capture/CaptureShell.h"

#include "capture/ScrTransController.h"
#include "capture/ScreenTransController.h"
#include "capture/WordStrokeController.h"
#include "capture/QZRPasteboardProxy.h"

#include <QTimer>

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

QString CaptureShell::pasteText() const { return QZRPasteboardProxy::pasteText(); }
