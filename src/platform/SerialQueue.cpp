#include "platform/SerialQueue.h"

#include "platform/ThreadStartHook.h"

#include <QThread>

SerialQueue::SerialQueue(QString name) : name_(std::move(name)) {
    thread_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) {
        if (isCurrent()) thread_.detach();
        else thread_.join();
    }
}

void SerialQueue::async(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace(std::make_pair(Clock::now(), seq_++), std::move(task));
    }
    cv_.notify_all();
}

void SerialQueue::after(std::chrono::milliseconds delay, Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace(std::make_pair(Clock::now() + delay, seq_++), std::move(task));
    }
    cv_.notify_all();
}

void SerialQueue::sync(const Task& task) {
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

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

void SerialQueue::run() {
    QThread::currentThread()->setObjectName(name_);
    runThreadStartHook();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (tasks_.empty()) {
            if (stopping_) return;
            cv_.wait(lock);
            continue;
        }
        auto first = tasks_.begin();
        const auto due = first->first.first;
        if (due > Clock::now()) {
            if (stopping_) return;
            cv_.wait_until(lock, due);
            continue;
        }
        Task task = std::move(first->second);
        tasks_.erase(first);
        lock.unlock();
        task();
        lock.lock();
    }
}
