// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linkclock.h"

#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace quillon {

class JobRunner;

// A lazily started coroutine that can be awaited by another one; the awaiting coroutine resumes
// when it finishes. Owning: destroying a Task destroys its (suspended) frame and everything it
// awaits.
template <typename T = void>
class [[nodiscard]] Task {
public:
    struct promise_type;
    using Handle = std::coroutine_handle<promise_type>;

    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        std::coroutine_handle<> await_suspend(Handle h) noexcept
        {
            auto next = h.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };

    struct PromiseBase {
        std::coroutine_handle<> continuation;
        std::suspend_always initial_suspend() noexcept { return {}; }
        FinalAwaiter final_suspend() noexcept { return {}; }
        void unhandled_exception() { std::terminate(); }
    };

    struct promise_type : PromiseBase {
        std::optional<T> value;
        Task get_return_object() { return Task(Handle::from_promise(*this)); }
        void return_value(T v) { value = std::move(v); }
    };

    Task(Task&& other) noexcept : h_(std::exchange(other.h_, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, {});
        }
        return *this;
    }
    ~Task() { reset(); }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept
    {
        h_.promise().continuation = awaiting;
        return h_;
    }
    T await_resume() { return std::move(*h_.promise().value); }

private:
    friend class JobRunner;
    explicit Task(Handle h) : h_(h) {}
    void reset()
    {
        if (h_)
            h_.destroy();
        h_ = {};
    }
    Handle h_;
};

template <>
struct Task<void>::promise_type : Task<void>::PromiseBase {
    Task get_return_object() { return Task(Handle::from_promise(*this)); }
    void return_void() {}
};
template <>
inline void Task<void>::await_resume() {}

// Runs jobs the way the link's waits nest: the most recently started job that still waits is
// the only one that may go on; the ones below it resume when it has finished. A job waits with
// co_await runner.until(condition[, limit]); the host calls pump() after every event (bytes,
// timers, output drained) so that waiting conditions are looked at again. Nothing here blocks
// or spins: between events every job is a suspended coroutine.
class JobRunner {
public:
    explicit JobRunner(LinkClock& clock);
    ~JobRunner();

    // Starts a job at once; it runs until its first wait.
    void spawn(Task<void> job);
    // Looks at the innermost waiting job again, and the ones below it once it has finished.
    void pump();
    // Drops every job: their frames are destroyed, at once when suspended, else as soon as they
    // suspend (a job that starts a new flow may drop itself).
    void clear();
    std::size_t jobCount() const { return roots_.size(); }
    // The job running now was dropped while it ran: it should stop at once.
    bool currentDropped() const { return current_ && current_->dropped; }

    struct UntilAwaiter {
        JobRunner& runner;
        std::function<bool()> condition;
        qint64 deadline; // -1: none
        bool await_ready() const { return condition(); }
        void await_suspend(std::coroutine_handle<> h);
        // true when the condition holds, false when the limit passed first.
        bool await_resume() const { return condition(); }
    };
    // Waits until condition() holds, or limitMs has passed (limitMs < 0: no limit).
    UntilAwaiter until(std::function<bool()> condition, qint64 limitMs = -1);

private:
    struct Root {
        Task<void> task;
        std::coroutine_handle<> resumePoint;
        std::function<bool()> condition;
        qint64 deadline = -1;
        bool running = false; // on the call stack now
        bool dropped = false;
        bool finished() const { return task.h_.done(); }
    };
    void resume(Root& root, std::coroutine_handle<> point);
    void sweep(); // destroys the dropped jobs that are not running
    bool ready(const Root& root) const;
    void armWake();

    LinkClock& clock_;
    std::vector<std::unique_ptr<Root>> roots_;
    Root* current_ = nullptr;
    bool pumping_ = false;
    bool repump_ = false;
    std::unique_ptr<LinkTimer> wake_;
};

} // namespace quillon
