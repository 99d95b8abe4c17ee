#pragma once

#include <QtGlobal>

// One pointer gesture as the capture controllers see it.
struct MouseMonitorEvent {
    enum Type { DoubleClick = 1, DragEnded = 2, Pressed = 4, MovedAway = 8 };

    int eventType = 0;
    // Pressed only: 0 in another application, 1 in one of our windows.
    int param = 0;
    // DragEnded only: seconds from press to release, and the straight-line
    // distance (device-independent pixels) from the press to the release.
    float dragTime = 0;
    float dragDistance = 0;
    // X server time of the gesture's first press (the first click of a
    // double click, the press of a drag); 0 when unknown. A selection owned
    // since before this instant was not made by the gesture.
    quint32 gestureServerTime = 0;
};
