#pragma once

#include <QPoint>
#include <QString>

// What the controllers ask a capture road and what it answers, apart from
// any road, so the controllers never see how a road reads the text. Points
// are screen pixels.
namespace capture {

// Where the selected text came from.
enum class SelectionSource { None, Primary, Accessibility, Copy };

struct SelectedText {
    QString text;
    SelectionSource source = SelectionSource::None;
};

struct SelectionRequest {
    QPoint px;
    // X server time of the gesture's first press; a PRIMARY owned since
    // before it was not made by this gesture. 0: any.
    quint32 gestureServerTime = 0;
    // The pointer is over one of our own windows: never send it keys.
    bool overOwnWindow = false;
};

struct TextAround {
    bool ok = false;
    bool failed = false;
    QString text;  // up to 20 characters each side of the pointer's
    int offset = 0;  // the pointer's character in `text` (QString index)
};

}  // namespace capture
