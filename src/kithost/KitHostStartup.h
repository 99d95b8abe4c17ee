#pragma once

// The application's one call into the component at launch (main thread):
// starts the kit host with the kits that are built in (the crash kit when
// it is registered, else the analytics kit), once. A misconfiguration
// (KTHException) is logged and the application runs on without the
// component.
namespace KitHostStartup {

void startWithCrashKit();

// Before the window and the web engine (main thread, after the application
// object exists and the single copy is claimed): the crash kit's early part,
// so a crash from here on is reported at the next start. Nothing when the
// crash kit is not built in or the host has no usable API key; a
// misconfiguration is left for startWithCrashKit() to report.
void startCrashRecording();

}  // namespace KitHostStartup
