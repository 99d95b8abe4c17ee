#pragma once

#include <QString>

// Identifiers of this machine that the word-book synchronisation sends
// (id, model, deviceid, mid). Each answers from the first readable source:
//   macID         first up, running, non-loopback interface with a hardware
//                 address ("%02X:" × 6); null when there is none
//   serialNumber  /sys/class/dmi/id/product_serial, else /etc/machine-id;
//                 null when neither is readable
//   model         /sys/class/dmi/id/product_name, else a fixed text
//   systemVersion "<NAME> <major>.<minor>.<patch>" from /etc/os-release,
//                 else "Linux" and the kernel release from uname
// macID (after a success) and systemVersion are cached for the process.
class DeviceHelper {
public:
    static QString macID();
    static QString serialNumber();
    static QString model();
    static QString systemVersion();

    // The text model() answers when the machine does not say what it is;
    // the synchronisation service has always received this exact text.
    static QString unknownModel();

    // Tests point the file sources (/sys/class/dmi/id, /etc) below another
    // root and drop the cached texts. An empty root restores "/".
    static void setFileRootForTesting(const QString& root);

    // Pure helpers, exposed for tests.
    static QString formatHardwareAddress(const QByteArray& sixBytes);
    static QString versionFromOsRelease(const QString& osReleaseText);
    static QString versionFromKernelRelease(const QString& release);
};
