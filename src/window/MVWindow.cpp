#include "window/MVWindow.h"

#include "platform/TimingMark.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaObject>

MVWindow::MVWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("米沃词典"));
}

void MVWindow::closeEvent(QCloseEvent* e) {
    // Closing never destroys the main window; it comes back on reopen.
    if (quitting_) {
        e->accept();
        return;
    }
    e->ignore();
    hide();
}

void MVWindow::keyPressEvent(QKeyEvent* e) { emit keyPressed(e); }

void MVWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            emit becameMain();
        else
            emit resignedMain();
    } else if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        emit miniaturized();
    }
    QWidget::changeEvent(e);
}

void MVWindow::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    emit moved();
}

void MVWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    emit resized();
}

void MVWindow::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    if (painted_) return;
    painted_ = true;
    MIRVOK_MARK("main window painted");
    // Queued: the backing store goes to the screen when this event returns.
    QMetaObject::invokeMethod(this, &MVWindow::firstPainted, Qt::QueuedConnection);
}
