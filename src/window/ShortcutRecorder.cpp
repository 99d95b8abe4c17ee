#include "window/ShortcutRecorder.h"

#include "platform/hotkeys/KeyCodeTable.h"

#include <QKeyEvent>

ShortcutRecorder::ShortcutRecorder(QWidget* parent) : QPushButton(parent) {
    setMinimumWidth(160);
    connect(this, &QPushButton::clicked, this, [this] { startRecording(); });
    refresh();
}

void ShortcutRecorder::setKeyCombo(int keyCode, quint64 flags) {
    code_ = keyCode;
    flags_ = flags & KeyCodeTable::kModifierFlagsMask;
    recording_ = false;
    refresh();
}

void ShortcutRecorder::startRecording() {
    recording_ = true;
    setFocus(Qt::MouseFocusReason);
    refresh();
}

void ShortcutRecorder::refresh() {
    if (recording_)
        setText(QStringLiteral("请按下快捷键"));
    else if (code_ == -1 || code_ == 0)
        setText(QStringLiteral("点击录制快捷键"));
    else
        setText(KeyCodeTable::displayText(code_, flags_));
}

void ShortcutRecorder::recordKey(int qtKey, Qt::KeyboardModifiers mods) {
    if (!recording_) return;
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_AltGr:
        return;  // still waiting for the key itself
    default:
        break;
    }
    const quint64 flags = KeyCodeTable::flagsForQtModifiers(mods);
    if (qtKey == Qt::Key_Escape && flags == 0) {
        recording_ = false;
        refresh();
        return;
    }
    if ((qtKey == Qt::Key_Backspace || qtKey == Qt::Key_Delete) && flags == 0) {
        recording_ = false;
        code_ = -1;
        flags_ = 0;
        refresh();
        emit keyComboDidChange(-1, 0);
        return;
    }
    // Letters arrive upper-case with Shift; the table knows the key itself.
    const int code = KeyCodeTable::codeForQtKey(qtKey);
    if (code < 0) return;  // a key without a stored code: keep recording
    recording_ = false;
    code_ = code;
    flags_ = flags;
    refresh();
    emit keyComboDidChange(code, flags);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* e) {
    if (!recording_) {
        QPushButton::keyPressEvent(e);
        return;
    }
    recordKey(e->key(), e->modifiers());
    e->accept();
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* e) {
    if (recording_) {
        recording_ = false;
        refresh();
    }
    QPushButton::focusOutEvent(e);
}
