#pragma once

// The application's one call into the component at launch (main thread):
// starts the kit host with the kits that are built in (the crash kit when
// it is registered, else the analytics kit), once. A misconfiguration
// (KTHException) is logged and the application runs on without the
// component.
namespace KitHostStartup {

void startWithCrashKit();

}  // namespace KitHostStartup
