#pragma once

#include "capture/CaptureRoad.h"

// The X display's pointer, focus and clipboard, for whichever road reads
// the text: the X11 road's, and the Wayland road's XWayland windows. Where
// no X display can be reached each call does nothing.
class X11Desktop : public CaptureRoad::Desktop {
public:
    bool watchPointer(QObject* context, CaptureRoad::PointerWatch watch) override;
    bool pointerOverOwnWindow() const override;
    void setPopupWindow(quint64 windowId) override;
    bool translucentWindows() const override;
    quint64 focusedOtherWindow() const override;
    void giveFocusBack(quint64 window) override;
    void focusShownWindow(quint64 window) override;
    QString clipboardText() const override;
};
