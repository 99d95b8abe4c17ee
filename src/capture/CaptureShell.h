#pragma once

#include "window/ShellServices.h"

#include <QPointer>

class GetWordMonitor;
class MiniSearchWndController;
class MVServiceProvider;
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
    QStringList captureRoads() const override;
    bool hasHover() const override;
    // The browser bridge on 127.0.0.1:32445, and the receiver of its words.
    bool startServer() override;
    void registerServiceProvider() override;
    bool isShowingMiniWindow() const override;
    void showMiniWindow() override;
    void hideMiniWindow() override;

    // The session bus's Query(text, userData); ignored until the provider
    // is registered at the end of the start-up.
    void serviceQuery(const QString& text, const QString& userData);

    ScreenTransController* screenTransController() const { return screenTrans_; }
    WordStrokeController* wordStrokeController() const { return wordStroke_; }
    GetWordMonitor* getWordMonitor() const { return getWord_; }
    MVServiceProvider* serviceProvider() const { return provider_; }
    // Made on first use (the tray icon appears with it).
    MiniSearchWndController* miniSearchWndController();

private:
    ScreenTransController* screenTrans_ = nullptr;
    WordStrokeController* wordStroke_ = nullptr;
    GetWordMonitor* getWord_ = nullptr;
    MVServiceProvider* provider_ = nullptr;
    MiniSearchWndController* mini_ = nullptr;
};
