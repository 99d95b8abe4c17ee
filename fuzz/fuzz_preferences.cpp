// The preferences file (mirvok.conf), read back the way the application
// reads it: every stored key, through every typed reader.
#include "FuzzSupport.h"

#include "platform/UserDefaults.h"
#include "platform/UserNotices.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::quietQt();
    // Serialised types are refused unread; should one slip through, an
    // image can be built only once the application object exists: as in mirvok.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(*argc, *argv);
    // Nobody to tell about a damaged file here; told notices are dropped.
    usernotices::setPresenter([](const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path =
        fuzz::writeScratchFile(QStringLiteral("mirvok.conf"), reinterpret_cast<const char*>(data), size);
    UserDefaults defaults(path);
    for (const QString& key : defaults.keys()) {
        (void)defaults.value(key);
        (void)defaults.boolValue(key);
        (void)defaults.integerValue(key);
        (void)defaults.doubleValue(key);
        (void)defaults.stringValue(key);
    }
    // A damaged input was moved aside and a notice queued: neither may pile up.
    if (!defaults.movedAside().isEmpty()) QFile::remove(defaults.movedAside());
    QCoreApplication::sendPostedEvents();
    return 0;
}
