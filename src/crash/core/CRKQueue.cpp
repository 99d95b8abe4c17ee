#include "crash/core/CRKQueue.h"

#include "crash/core/CRKSignal.h"

#include <cstring>
#include <pthread.h>

CRKQueue::CRKQueue(const char* label) : label_(label)
{
    thread_ = std::thread([this] { run(); });
}

CRKQueue::~CRKQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (isCurrent())
            thread_.detach();
        else
            thread_.join();
    }
}

void CRKQueue::async(Task task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
}

void CRKQueue::sync(const Task& task)
{
    if (isCurrent()) {
        task();
        return;
    }
    std::mutex m;
    std::condition_variable done;
    bool finished = false;
    async([&] {
        task();
        std::lock_guard lock(m);
        finished = true;
        done.notify_all();
    });
    std::unique_lock lock(m);
    done.wait(lock, [&] { return finished; });
}

void CRKQueue::setTick(std::chrono::milliseconds period, Task tick)
{
    {
        std::lock_guard lock(mutex_);
        period_ = period;
        tick_ = std::move(tick);
    }
    cv_.notify_all();
}

void CRKQueue::after(std::chrono::milliseconds delay, Task task)
{
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(std::chrono::steady_clock::now() + delay, std::move(task));
    }
    cv_.notify_all();
}

void CRKDispatchAfter(CRKQueue* queue, double seconds, CRKQueue::Task block)
{
    if (!queue || !block)
        return;
    const auto delay = std::chrono::milliseconds(static_cast<long long>(seconds > 0 ? seconds * 1000.0 : 0));
    queue->after(delay, std::move(block));
}

void CRKQueue::run()
{
    using Clock = std::chrono::steady_clock;
    char name[16];
    strncpy(name, label_, 15);
    name[15] = 0;
    pthread_setname_np(pthread_self(), name);
    CRKSignalThreadStarted();
    auto nextTick = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto now = Clock::now();
        while (!delayed_.empty() && delayed_.begin()->first <= now) {
            tasks_.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
        }
        if (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (stopping_)
            return;
        if (tick_ && now >= nextTick) {
            Task tick = tick_;
            lock.unlock();
            tick();
            lock.lock();
            nextTick = Clock::now() + period_;
            continue;
        }
        auto wake = Clock::time_point::max();
        if (tick_)
            wake = nextTick;
        if (!delayed_.empty() && delayed_.begin()->first < wake)
            wake = delayed_.begin()->first;
        if (wake == Clock::time_point::max())
            cv_.wait(lock);
        else
            cv_.wait_until(lock, wake);
    }
}
