#pragma once

#include <QLineEdit>
#include <functional>

// The toolbar's lookup input. Editing commands (Return, arrows, Escape) go
// to a handler first, which answers whether it consumed them; the paste
// shortcut goes to the application's paste command.
class MVSearchField : public QLineEdit {
    Q_OBJECT
public:
    enum class Command { InsertNewline, MoveUp, MoveDown, CancelOperation, Paste };
    using CommandHandler = std::function<bool(Command)>;

    explicit MVSearchField(QWidget* parent = nullptr);
    void setCommandHandler(CommandHandler h) { handler_ = std::move(h); }

signals:
    // First change after the field gained the focus.
    void didBeginEditing();
    // A change the user made (not programmatic text).
    void didChange(const QString& text);
    void pasteRequested();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    CommandHandler handler_;
    bool editing_ = false;
};
