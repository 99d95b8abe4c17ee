#include "platform/TimingMark.h"

#include <ctime>

Q_LOGGING_CATEGORY(lcTiming, "mirvok.timing", QtInfoMsg)

qint64 timingmark::nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}
