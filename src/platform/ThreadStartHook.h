#pragma once

// A function every thread the project starts runs first (SerialQueue's
// worker, for one). The crash kit sets it so that each such thread gets an
// alternate signal stack of its own; nothing else should need it.
using ThreadStartHook = void (*)();

void setThreadStartHook(ThreadStartHook hook);
void runThreadStartHook();
