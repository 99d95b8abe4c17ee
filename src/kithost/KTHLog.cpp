#include "kithost/KTHLog.h"

#include <QDebug>
#include <atomic>

namespace {
std::atomic<bool> g_debug{false};
}

namespace KTHLog {

bool debug() { return g_debug.load(); }
void setDebug(bool on) { g_debug.store(on); }

void write(const QString& line) { qInfo().noquote() << line; }

void debugWrite(const QString& line)
{
    if (debug())
        write(line);
}

}  // namespace KTHLog
