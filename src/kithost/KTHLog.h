#pragma once

#include <QString>

// The component's diagnostic lines: "[Tag] text" through qInfo. Most lines
// are written only while the kit host's debug switch is on; a few are
// unconditional, as each caller decides.
namespace KTHLog {

bool debug();
void setDebug(bool on);

void write(const QString& line);        // always
void debugWrite(const QString& line);   // only with debug on

}  // namespace KTHLog
