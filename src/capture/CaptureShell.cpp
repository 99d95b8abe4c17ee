#include "capture/CaptureShell.h"

#include "capture/ScreenTransController.h"
#include "capture/WordStrokeController.h"

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
}
