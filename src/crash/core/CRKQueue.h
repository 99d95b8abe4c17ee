#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// A serial queue of the core: one std::thread named after the label (cut to
// the kernel's 15 bytes), tasks run one at a time in order. The thread gets
// its own alternate signal stack, so a fault there is recorded too.
// Allocates and locks: never used at crash time.
class CRKQueue {
public:
    using Task = std::function<void()>;

    explicit CRKQueue(const char* label);
    ~CRKQueue();
    CRKQueue(const CRKQueue&) = delete;
    CRKQueue& operator=(const CRKQueue&) = delete;

    void async(Task task);
    // Runs the task and waits for it; inline when called on the queue itself.
    void sync(const Task& task);
    // Runs the task on the queue once the delay has passed.
    void after(std::chrono::milliseconds delay, Task task);
    // Runs `tick` on the queue every `period` until the queue ends.
    void setTick(std::chrono::milliseconds period, Task tick);
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
    const char* label() const { return label_; }

private:
    void run();

    const char* label_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Task> tasks_;
    std::multimap<std::chrono::steady_clock::time_point, Task> delayed_;
    Task tick_;
    std::chrono::milliseconds period_{0};
    bool stopping_ = false;
    std::thread thread_;
};

// The context's three queues (null before CRKContextInitialize).
CRKQueue* CRKContextLoggingQueue();
CRKQueue* CRKContextBinaryImagesQueue();
CRKQueue* CRKContextExceptionQueue();

// Runs `block` on `queue` after `seconds`. Not for crash time.
void CRKDispatchAfter(CRKQueue* queue, double seconds, CRKQueue::Task block);
