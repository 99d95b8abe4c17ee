#pragma once

#include <functional>

// Hands work to the main (GUI) thread's event loop. Safe from any thread;
// the task runs later even when called from the main thread itself.
void runOnMain(std::function<void()> task);
bool isMainThread();
