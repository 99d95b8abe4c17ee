#pragma once

#include <QWidget>

// The main window. Closing it only hides it; it reports key presses that
// no child took, activation changes, moves and resizes to its controller.
class MVWindow : public QWidget {
    Q_OBJECT
public:
    explicit MVWindow(QWidget* parent = nullptr);
signals:
    void keyPressed(QKeyEvent* event);
    void becameMain();
    void resignedMain();
    void moved();
    void resized();
    void miniaturized();
protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
};
