#pragma once

#include <QByteArray>
#include <QStringList>

// How the web engine runs our pages, chosen before the application object
// exists, and only where the user has not chosen themselves.
//
// Process model: the engine gives every page a renderer process of its own
// and keeps a spare one started. All our own pages are local files of one
// site, so they share one renderer; remote pages (the web login) still get
// theirs. Left alone when the web engine flags or the command line name a
// process model.
//
// Script memory: every lookup replaces the page's entry, and the script
// engine's default heap growth lets the old ones pile up as garbage, about
// a third of a megabyte a lookup; sizing the heap for memory rather than
// speed collects it. Even so the heap kept growing over a burst of lookups
// (about 15 MB in 500), so the collector is also offered to page script:
// our pages call it once quiet after a burst of writes (WebPageHost), which
// halves that. The flags go quoted, as one argument. Left alone when the
// flags or arguments carry --js-flags (the engine takes only one).
//
// Rendering: our pages are text and a few images. Drawing them on the CPU
// gives the same pixels without a GL driver in the process or a GPU
// process beside it, which is most of a cold start and tens of megabytes.
// Left alone when the environment picks a graphics path (QT_QUICK_BACKEND,
// QSG_RHI_BACKEND, QT_XCB_GL_INTEGRATION) or the flags or arguments say
// anything of the GPU or GL.
//
// Zygote: the engine forks its renderers from two zygote processes so that
// each starts inside the sandbox. With the sandbox off (root, or the user's
// own choice) they guard nothing and hold about 8 MB of their own: renderers
// are then started directly (--no-zygote, which the engine accepts only
// without the sandbox). Left alone when the flags or arguments name it.
struct WebEngineSetup {
    QByteArray chromiumFlags;  // what QTWEBENGINE_CHROMIUM_FLAGS is to hold
    bool softwareRendering = false;
};

WebEngineSetup webEngineSetupFor(const QByteArray& flags, const QStringList& arguments,
                                 bool environmentPicksGraphics, bool sandboxOff = false);

// Reads and sets the environment accordingly. The caller then sets the
// scene graph to software (true) or shares OpenGL contexts (false), which
// needs Qt Quick and so stays in the executable, and once the application
// object exists drops QT_XCB_GL_INTEGRATION again (true), so that programs
// it starts are not held to it. Also keeps the engine's set-up account and
// Qt's notices of the GL path not taken out of the terminal, unless
// QT_LOGGING_RULES asks for them.
bool applyWebEngineSetup(int argc, char** argv);
