#include "platform/HeapTrim.h"

#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <malloc.h>

namespace heaptrim {

void soon() {
    runOnMain([] {
        static QPointer<QTimer> timer;
        if (!timer) {
            if (!QCoreApplication::instance()) return;
            timer = new QTimer(QCoreApplication::instance());
            timer->setSingleShot(true);
            timer->setInterval(1000);
            QObject::connect(timer, &QTimer::timeout, [] { malloc_trim(0); });
        }
        timer->start();
    });
}

void now() { malloc_trim(0); }

}  // namespace heaptrim
