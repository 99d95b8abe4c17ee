#include "platform/ApplicationActivity.h"

#include <atomic>

namespace {
std::atomic<bool> g_active{false};
std::atomic<std::uint64_t> g_changes{0};
}  // namespace

namespace ApplicationActivity {

bool isActive() { return g_active.load(); }
std::uint64_t changes() { return g_changes.load(); }

void setActive(bool active)
{
    g_active.store(active);
    g_changes.fetch_add(1);
}

}  // namespace ApplicationActivity
