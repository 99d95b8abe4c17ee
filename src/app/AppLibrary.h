#pragma once

class QString;

// The application itself (interface, web engine, desktop capture, services)
// is a library, lib/<multiarch>/mirvok/libmirvok-app.so beside the
// program's bin/ in a build tree and an installed prefix alike. The `mirvok` program links
// QtCore and the offline reader only and loads the library for a run that
// needs it, so the terminal commands never pay for loading a web engine.
namespace AppLibrary {

// The library's entry points, found by these names; it exports nothing else.
inline constexpr char kMainEntry[] = "mirvok_app_main";
inline constexpr char kQueryEntry[] = "mirvok_app_query";
using MainEntry = int (*)(int argc, char** argv);
using QueryEntry = int (*)(const QString* text, QString* failure);

// Loads the library (once) from beside the running program and returns the
// entry point `name`; null, with the reason on stderr, when the library or
// the entry point is missing.
void* resolve(const char* name);

}  // namespace AppLibrary

// What the library defines under those names.
// The whole application: the main window, or the clipboard keeper for
// `mirvok --keep-clipboard`; returns the exit status.
extern "C" int mirvok_app_main(int argc, char** argv);
// `mirvok --query`: hands `text` to the running copy (QueryRunningCopy) in
// the QCoreApplication the caller made, and runs its event loop until the
// copy took it or it failed; 0 done, 1 with `failure` set.
extern "C" int mirvok_app_query(const QString* text, QString* failure);
