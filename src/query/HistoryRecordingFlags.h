#pragma once

// Whether the next parsed lookup enters the query history. The word book
// screen drives the flags from what the user does there (browsing the
// history tab must not record the words it shows again); the entry reader
// consumes shouldRecordHistory once per parsed answer and then resets it to
// needToRecordHistory. Main thread only.
class HistoryRecordingFlags {
public:
    static HistoryRecordingFlags& sharedInstance();

    bool shouldRecordHistory() const { return shouldRecordHistory_; }
    void setShouldRecordHistory(bool v) { shouldRecordHistory_ = v; }
    bool needToRecordHistory() const { return needToRecordHistory_; }
    void setNeedToRecordHistory(bool v) { needToRecordHistory_ = v; }

    // What the reader does after each parse, recorded or not.
    void consume() { shouldRecordHistory_ = needToRecordHistory_; }

    // The screen's events.
    void applicationStarted() { shouldRecordHistory_ = needToRecordHistory_ = true; }
    void viewLoaded() { needToRecordHistory_ = true; }
    // Both flags follow the tab shown: the favourites tab records its
    // lookups, the history tab never does. Leaving the screen records again
    // from the very next lookup.
    void screenAppeared(bool favouritesTabSelected) {
        shouldRecordHistory_ = needToRecordHistory_ = favouritesTabSelected;
    }
    void screenDisappeared() { shouldRecordHistory_ = needToRecordHistory_ = true; }
    void switchedToFavourites() { shouldRecordHistory_ = needToRecordHistory_ = true; }
    void switchedToHistory() { shouldRecordHistory_ = needToRecordHistory_ = false; }
    void favouriteRowClicked() { shouldRecordHistory_ = needToRecordHistory_ = true; }
    void historyRowClicked() { shouldRecordHistory_ = needToRecordHistory_ = false; }

    HistoryRecordingFlags() = default;

private:
    bool shouldRecordHistory_ = false;
    bool needToRecordHistory_ = false;
};
