#include "query/HistoryRecordingFlags.h"

HistoryRecordingFlags& HistoryRecordingFlags::sharedInstance() {
    static HistoryRecordingFlags flags;
    return flags;
}
