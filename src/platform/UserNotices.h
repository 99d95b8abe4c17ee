#pragma once

#include <QString>
#include <functional>

// Things the user must be told by layers that own no window (a store moved
// aside, a word that could not be saved). Whatever is posted before the
// interface installs its presenter is held and shown then.
namespace usernotices {

// Safe from any thread; the presenter runs on the main thread.
void post(const QString& text);
// Main thread. Shows the held messages at once; null stops presenting
// (later posts are held again).
void setPresenter(std::function<void(const QString& text)> presenter);

}  // namespace usernotices
