#include "kithost/KTHLog.h"

#include <QDebug>
#include <QLoggingCategory>
#include <atomic>

namespace {
std::atomic<bool> g_debug{false};
// Off in a terminal by default: QT_LOGGING_RULES="mirvok.kit.info=true".
Q_LOGGING_CATEGORY(lcKit, "mirvok.kit", QtWarningMsg)
}

namespace KTHLog {

bool debug() { return g_debug.load(); }
void setDebug(bool on) { g_debug.store(on); }

void write(const QString& line) { qCInfo(lcKit).noquote() << line; }

void debugWrite(const QString& line)
{
    if (debug())
        write(line);
}

}  // namespace KTHLog
