#pragma once

#include <memory>
#include <mutex>
#include <utility>

// Lets work that runs on another thread (a network completion, a timer, a
// queued task) use its owner only while the owner lives. The owner keeps a
// LifeGuard and ends it first thing in its destructor; the work captures a
// Watch and reaches the owner only inside Watch::run(). end() waits for a run
// under way, and no run starts after it. A run that ends its own owner on the
// same thread does not wait on itself.
class LifeGuard {
    struct State {
        std::recursive_mutex mutex;
        bool alive = true;
    };

public:
    class Watch {
    public:
        // Runs `work` while the owner lives; false when it is gone.
        template <typename Work>
        bool run(Work&& work) const
        {
            std::lock_guard<std::recursive_mutex> lock(state_->mutex);
            if (!state_->alive)
                return false;
            std::forward<Work>(work)();
            return true;
        }

    private:
        friend class LifeGuard;
        explicit Watch(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    LifeGuard() = default;
    ~LifeGuard() { end(); }
    LifeGuard(const LifeGuard&) = delete;
    LifeGuard& operator=(const LifeGuard&) = delete;

    Watch watch() const { return Watch(state_); }
    void end()
    {
        std::lock_guard<std::recursive_mutex> lock(state_->mutex);
        state_->alive = false;
    }
    bool alive() const
    {
        std::lock_guard<std::recursive_mutex> lock(state_->mutex);
        return state_->alive;
    }

private:
    std::shared_ptr<State> state_ = std::make_shared<State>();
};
