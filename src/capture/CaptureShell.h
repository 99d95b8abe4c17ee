#pragma once

#include "window/ShellServices.h"

#include <QPointer>

class ScreenTransController;
class WordStrokeController;

// Desktop capture as the main window starts it: the hover and selection
// controllers, made once and never stopped (their switches are read at
// every use). Installed with ShellServices::setCapture before the main
// window controller is made; owns the controllers.
class CaptureShell : public CaptureServices {
public:
    CaptureShell();
    ~CaptureShell() override;

    void startScreenTrans() override;
    void startWordStroke() override;
    // The clipboard's text, read with a time-out: an owner that is stopped
    // or busy costs the paste a third of a second, not the interface.
    QString pasteText() const override;

    ScreenTransController* screenTransController() const { return screenTrans_; }
    WordStrokeController* wordStrokeController() const { return wordStroke_; }

private:
    ScreenTransController* screenTrans_ = nullptr;
    WordStrokeController* wordStroke_ = nullptr;
};
