#pragma once

#include <QLoggingCategory>

// The main window's and its pages' developer lines, at debug level and off
// by default: QT_LOGGING_RULES="mirvok.window*.debug=true" shows them.
Q_DECLARE_LOGGING_CATEGORY(lcWindow)       // "mirvok.window"
Q_DECLARE_LOGGING_CATEGORY(lcWindowPages)  // "mirvok.window.pages"
