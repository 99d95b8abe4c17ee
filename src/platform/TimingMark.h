#pragma once

#include <QLoggingCategory>

// Milestones for the benchmarks' breakdowns (start-up, a lookup): the
// monotonic clock in microseconds, the clock the benchmarks read, and what
// happened. Debug level of `mirvok.timing`, so off unless the logging rules
// ask for it (QT_LOGGING_RULES=mirvok.timing.debug=true); a mark costs a
// flag test then.
Q_DECLARE_LOGGING_CATEGORY(lcTiming)

namespace timingmark {
qint64 nowUs();
}

#define MIRVOK_MARK(what) qCDebug(lcTiming, "%lld %s", static_cast<long long>(timingmark::nowUs()), what)
