#pragma once

#include <QWidget>

// The main window. Closing it only hides it; it reports key presses that
// no child took, activation changes, moves and resizes to its controller.
class MVWindow : public QWidget {
    Q_OBJECT
public:
    explicit MVWindow(QWidget* parent = nullptr);
    // Once the quit is confirmed closing is accepted: the application's quit
    // closes every window in turn and gives up at the first one that refuses,
    // which would leave the others open and the program running.
    void setQuitting(bool quitting) { quitting_ = quitting; }
signals:
    void keyPressed(QKeyEvent* event);
    void becameMain();
    void resignedMain();
    void moved();
    void resized();
    void miniaturized();
    // Once, queued after the window's first paint has gone to the screen:
    // what the first frame does not need starts from here.
    void firstPainted();
protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
private:
    bool quitting_ = false;
    bool painted_ = false;
};
