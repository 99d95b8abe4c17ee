#pragma once

#include <Qt>

// The keyboard modifiers held at this moment, asked of the window system
// rather than taken from the last input event (capture asks while another
// application has the focus). Outside a GUI application: none.
Qt::KeyboardModifiers currentKeyboardModifiers();
