// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs.h"

#include <algorithm>

namespace quillon {

JobRunner::JobRunner(LinkClock& clock) : clock_(clock), wake_(clock.createTimer())
{
    wake_->onTimeout = [this] { pump(); };
}

JobRunner::~JobRunner()
{
    wake_->onTimeout = nullptr;
    roots_.clear();
}

void JobRunner::spawn(Task<void> job)
{
    auto root = std::make_unique<Root>(Root{std::move(job), {}, {}, -1, false, false});
    Root* raw = root.get();
    roots_.push_back(std::move(root));
    resume(*raw, raw->task.h_);
    // Jobs below resume only after the event that started this one: the host pumps then.
    if (!roots_.empty() && roots_.back().get() == raw && raw->finished())
        roots_.pop_back();
    if (!pumping_)
        armWake();
}

void JobRunner::resume(Root& root, std::coroutine_handle<> point)
{
    Root* outer = current_;
    current_ = &root;
    root.resumePoint = {};
    root.condition = nullptr;
    root.deadline = -1;
    root.running = true;
    point.resume();
    root.running = false;
    current_ = outer;
    if (root.dropped)
        sweep();
}

void JobRunner::sweep()
{
    std::erase_if(roots_, [](const std::unique_ptr<Root>& root) { return root->dropped && !root->running; });
}

bool JobRunner::ready(const Root& root) const
{
    if (!root.resumePoint)
        return false; // running further up the call stack
    if (root.condition && root.condition())
        return true;
    return root.deadline >= 0 && clock_.nowMs() >= root.deadline;
}

void JobRunner::pump()
{
    if (pumping_) {
        repump_ = true;
        return;
    }
    pumping_ = true;
    do {
        repump_ = false;
        while (!roots_.empty()) {
            Root& top = *roots_.back();
            if (top.finished()) {
                roots_.pop_back();
                continue;
            }
            if (!ready(top))
                break;
            resume(top, top.resumePoint);
        }
    } while (repump_);
    pumping_ = false;
    armWake();
}

void JobRunner::clear()
{
    for (const std::unique_ptr<Root>& root : roots_)
        root->dropped = true;
    sweep();
    wake_->stop();
}

void JobRunner::armWake()
{
    wake_->stop();
    if (roots_.empty())
        return;
    const Root& top = *roots_.back();
    if (top.resumePoint && top.deadline >= 0)
        wake_->start(static_cast<int>(std::max<qint64>(0, top.deadline - clock_.nowMs())));
}

JobRunner::UntilAwaiter JobRunner::until(std::function<bool()> condition, qint64 limitMs)
{
    return UntilAwaiter{*this, std::move(condition), limitMs < 0 ? -1 : clock_.nowMs() + limitMs};
}

void JobRunner::UntilAwaiter::await_suspend(std::coroutine_handle<> h)
{
    Root* root = runner.current_;
    root->resumePoint = h;
    root->condition = condition;
    root->deadline = deadline;
}

} // namespace quillon
