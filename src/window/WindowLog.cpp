#include "window/WindowLog.h"

Q_LOGGING_CATEGORY(lcWindow, "mirvok.window", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWindowPages, "mirvok.window.pages", QtInfoMsg)
