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

void CRKQueue::run()
{
    char name[16];
    strncpy(name, label_, 15);
    name[15] = 0;
    pthread_setname_np(pthread_self(), name);
    CRKSignalThreadStarted();
    auto nextTick = std::chrono::steady_clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
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
        if (tick_) {
            if (std::chrono::steady_clock::now() >= nextTick) {
                Task tick = tick_;
                lock.unlock();
                tick();
                lock.lock();
                nextTick = std::chrono::steady_clock::now() + period_;
                continue;
            }
            cv_.wait_until(lock, nextTick);
        } else {
            cv_.wait(lock);
            nextTick = std::chrono::steady_clock::now() + period_;
        }
    }
}
