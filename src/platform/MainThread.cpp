#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QThread>

void runOnMain(std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;  // shutting down: there is no main loop left to run it
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

bool isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}
