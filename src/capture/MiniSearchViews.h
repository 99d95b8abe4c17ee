#pragma once

#include <QColor>
#include <QLineEdit>
#include <QWidget>

// The mini window's content: white, corners rounded (radius 10) where a
// compositor shows the corners through, square otherwise.
class MVMiniSearchContentView : public QWidget {
    Q_OBJECT
public:
    explicit MVMiniSearchContentView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

// The strip behind the search field (grey 216).
class MiniSearchFieldView : public QWidget {
    Q_OBJECT
public:
    explicit MiniSearchFieldView(QWidget* parent = nullptr);
    void setBackground(const QColor& c);
    QColor background() const { return background_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QColor background_{216, 216, 216};
};

// The search field: a rounded grey box with the placeholder
// "快捷查词（Option+Z）". The keys a text field would use for itself
// (Return, paste, Up, Down, Escape) go to the controller as commands first.
class MVMiniSearchField : public QLineEdit {
    Q_OBJECT
public:
    enum Command { InsertNewline, Paste, MoveDown, MoveUp, CancelOperation };

    explicit MVMiniSearchField(QWidget* parent = nullptr);
    // Returns whether the command was handled; unhandled keys do what a
    // line edit does.
    std::function<bool(Command)> commandHandler;
    void setFillColor(const QColor& c);
    // Set by setFillColor, else the field's grey of the colour scheme in force.
    QColor fillColor() const;
    // 「快捷查词（Alt+Z）」 with the mini-search key as stored now (its
    // modifier is always Option, shown as Alt); without a usable key only
    // 「快捷查词」.
    static QString placeholderForStoredKey();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QColor fill_;
};
