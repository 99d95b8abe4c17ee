#include "platform/ThreadStartHook.h"

#include <atomic>

namespace {
std::atomic<ThreadStartHook> gHook{nullptr};
}

void setThreadStartHook(ThreadStartHook hook) { gHook.store(hook); }

void runThreadStartHook()
{
    if (ThreadStartHook hook = gHook.load())
        hook();
}
