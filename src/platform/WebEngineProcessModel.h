#pragma once

#include <QByteArray>
#include <QStringList>

// The web engine gives every page a renderer process of its own and keeps a
// spare one started. All our own pages are local files of one site, so they
// can share one renderer; remote pages (the web login) still get theirs.
// Unless the user chose a process model themselves, in the environment's
// web engine flags or on the command line, these add one.

// The flags to run with, given the environment's flags and the arguments.
QByteArray chromiumFlagsWithProcessModel(const QByteArray& flags, const QStringList& arguments);

// Applies the above to QTWEBENGINE_CHROMIUM_FLAGS. Call before the
// application object exists.
void chooseWebEngineProcessModel(int argc, char** argv);
