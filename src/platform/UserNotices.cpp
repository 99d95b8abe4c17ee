#include "platform/UserNotices.h"

#include "platform/MainThread.h"

#include <QMutex>
#include <QStringList>

namespace usernotices {
namespace {
struct State {
    QMutex mutex;
    std::function<void(const QString&)> presenter;
    QStringList held;
};
State& state()
{
    static State s;
    return s;
}

// Main thread: shows what is held if someone presents it.
void deliver()
{
    State& s = state();
    std::function<void(const QString&)> presenter;
    QStringList texts;
    {
        QMutexLocker lock(&s.mutex);
        if (!s.presenter)
            return;
        presenter = s.presenter;
        texts.swap(s.held);
    }
    for (const QString& t : std::as_const(texts))
        presenter(t);
}
}  // namespace

void post(const QString& text)
{
    {
        QMutexLocker lock(&state().mutex);
        state().held.append(text);
    }
    runOnMain(&deliver);
}

void setPresenter(std::function<void(const QString&)> presenter)
{
    {
        QMutexLocker lock(&state().mutex);
        state().presenter = std::move(presenter);
    }
    deliver();
}

}  // namespace usernotices
