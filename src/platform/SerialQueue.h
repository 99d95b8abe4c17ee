#pragma once

#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// One worker thread that runs tasks one at a time in the order given.
// Tasks queued with after() run once their time has come, in time order.
// The destructor runs what is already due and drops delayed tasks.
class SerialQueue {
public:
    using Task = std::function<void()>;

    explicit SerialQueue(QString name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Task task);
    // Runs the task on the queue and waits for it; called from the queue's own
    // thread it runs inline instead of waiting on itself.
    void sync(const Task& task);
    void after(std::chrono::milliseconds delay, Task task);
    bool isCurrent() const;
    const QString& name() const { return name_; }

private:
    using Clock = std::chrono::steady_clock;
    void run();

    QString name_;
    std::mutex mutex_;
    std::condition_variable cv_;
    // Keyed by (due time, sequence) so equal times keep their order.
    std::map<std::pair<Clock::time_point, quint64>, Task> tasks_;
    quint64 seq_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
