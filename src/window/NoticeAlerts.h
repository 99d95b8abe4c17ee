#pragma once

#include <QStringList>

// What layers without windows post through usernotices, shown as the
// application's alert with one 确定 button. A text that is on screen already
// is not shown a second time, so a burst of failures makes one alert.
namespace noticealerts {

// Main thread, once the application object exists.
void install();
// The texts of the alerts on screen.
QStringList shown();

}  // namespace noticealerts
