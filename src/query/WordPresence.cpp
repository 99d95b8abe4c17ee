#include "query/WordPresence.h"

#include <atomic>

namespace {
std::atomic<WordPresence*> g_presence{nullptr};
}

WordPresence* WordPresence::shared() { return g_presence.load(); }
void WordPresence::setShared(WordPresence* presence) { g_presence.store(presence); }
