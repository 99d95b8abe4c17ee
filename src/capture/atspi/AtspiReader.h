#pragma once

#include "capture/CaptureRoadTypes.h"

#include <QPoint>
#include <QString>

// Text of other applications through the accessibility bus (AT-SPI), for
// the capture thread only: libatspi is not thread-safe, so the one capture
// thread makes, uses and destroys the reader. Every call to an application
// waits 250 ms at most, and the first call that fails ends the whole read,
// so a stopped application costs a quarter of a second, not a freeze.
//
// Points are X screen pixels.
class AtspiReader {
public:
    AtspiReader();
    ~AtspiReader();
    AtspiReader(const AtspiReader&) = delete;
    AtspiReader& operator=(const AtspiReader&) = delete;

    bool isValid() const { return valid_; }

    struct Selection {
        bool foundText = false;   // a text element lies under the point
        bool terminal = false;    // the element (or an ancestor) is a terminal
        // The nearest element with a text role under the point holds the
        // keyboard focus: the one piece of evidence that a typed key lands
        // in a text of that program and nowhere else.
        bool focusedText = false;
        bool failed = false;      // an application did not answer in time
        QString text;             // its first selection; empty when none
    };
    // The selection of the nearest text element under the point, in the
    // application with this process id (0: whichever shows the point).
    Selection selectionAt(const QPoint& px, qint64 pid);

    using Around = capture::TextAround;
    // The text around the character under the point.
    Around textAround(const QPoint& px, qint64 pid);

    // The application's answer for "the text from start to end" as it
    // counts offsets: QString indexes are never mixed with them (Qt counts
    // UTF-16 units, the standard counts characters).
    static Around windowFromTexts(const QString& before, const QString& window);

private:
    struct Impl;
    Impl* d_;
    bool valid_ = false;
};
