#pragma once

#include <QPushButton>

// Records one global hotkey: click, then press the combination. Escape
// cancels recording; Backspace or Delete alone clears the combination.
// Values are the stored key codes and modifier flags (KeyCodeTable).
class ShortcutRecorder : public QPushButton {
    Q_OBJECT
public:
    explicit ShortcutRecorder(QWidget* parent = nullptr);

    int keyCode() const { return code_; }
    quint64 modifierFlags() const { return flags_; }
    // Shows a combination without announcing it.
    void setKeyCombo(int keyCode, quint64 flags);
    bool isRecording() const { return recording_; }
    void startRecording();

    // The recorder's handling of one key press while recording.
    void recordKey(int qtKey, Qt::KeyboardModifiers mods);

signals:
    void keyComboDidChange(int keyCode, quint64 flags);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void refresh();
    int code_ = -1;
    quint64 flags_ = 0;
    bool recording_ = false;
};
