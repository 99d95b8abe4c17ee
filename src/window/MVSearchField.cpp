#include "window/MVSearchField.h"

#include "platform/TimingMark.h"

#include "window/ImageLibrary.h"

#include <QAction>
#include <QKeyEvent>

MVSearchField::MVSearchField(QWidget* parent) : QLineEdit(parent) {
    setPlaceholderText(QStringLiteral("搜索单词"));
    setFrame(false);
    setClearButtonEnabled(false);
    addAction(ImageLibrary::icon(QStringLiteral("img_home_search_icon")), QLineEdit::LeadingPosition);
    setObjectName(QStringLiteral("searchField"));
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!editing_) {
            editing_ = true;
            emit didBeginEditing();
        }
        emit didChange(text);
    });
}

void MVSearchField::focusOutEvent(QFocusEvent* e) {
    editing_ = false;
    QLineEdit::focusOutEvent(e);
}

void MVSearchField::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Paste)) {
        emit pasteRequested();
        return;
    }
    std::optional<Command> cmd;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        MIRVOK_MARK("Return in the search field");
        cmd = Command::InsertNewline;
        break;
    case Qt::Key_Up: cmd = Command::MoveUp; break;
    case Qt::Key_Down: cmd = Command::MoveDown; break;
    case Qt::Key_Escape: cmd = Command::CancelOperation; break;
    default: break;
    }
    if (cmd && handler_ && handler_(*cmd)) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}
