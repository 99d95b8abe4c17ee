#pragma once

#include <cstdint>

// Whether the application is the active one (a window of it has the focus),
// for code below the GUI: a kit that starts after the change still learns
// the state its notice told. The application sets it on the main thread just
// before it posts "NSApplicationDidBecomeActiveNotification" or
// "NSApplicationDidResignActiveNotification".
namespace ApplicationActivity {

bool isActive();
// Counts the changes: a reader that saw the same count twice knows no
// notice came in between.
std::uint64_t changes();
void setActive(bool active);

}  // namespace ApplicationActivity
