// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualclock.h"

namespace quillon {

class VirtualTimer : public LinkTimer {
public:
    VirtualTimer(VirtualClock& clock, std::shared_ptr<bool> clockAlive)
        : clock_(clock), clockAlive_(std::move(clockAlive)) {}
    ~VirtualTimer() override { stop(); }

    void start(int intervalMs) override
    {
        stop();
        active_ = true;
        key_ = clock_.schedule(intervalMs, [this] {
            active_ = false;
            if (onTimeout)
                onTimeout();
        });
    }
    void stop() override
    {
        if (active_ && *clockAlive_)
            clock_.cancel(key_);
        active_ = false;
    }
    bool isActive() const override { return active_; }

private:
    VirtualClock& clock_;
    std::shared_ptr<bool> clockAlive_;
    VirtualClock::Key key_{};
    bool active_ = false;
};

VirtualClock::VirtualClock() : alive_(std::make_shared<bool>(true)) {}
VirtualClock::~VirtualClock() { *alive_ = false; }

std::unique_ptr<LinkTimer> VirtualClock::createTimer()
{
    return std::make_unique<VirtualTimer>(*this, alive_);
}

VirtualClock::Key VirtualClock::schedule(qint64 delayMs, std::function<void()> action)
{
    const Key key{now_ + std::max<qint64>(0, delayMs), sequence_++};
    queue_.emplace(key, std::move(action));
    return key;
}

void VirtualClock::cancel(const Key& key) { queue_.erase(key); }

void VirtualClock::post(qint64 delayMs, std::function<void()> action)
{
    schedule(delayMs, std::move(action));
}

void VirtualClock::advance(qint64 ms)
{
    const qint64 end = now_ + std::max<qint64>(0, ms);
    while (!queue_.empty() && queue_.begin()->first.first <= end) {
        auto node = queue_.extract(queue_.begin());
        now_ = std::max(now_, node.key().first);
        node.mapped()();
    }
    now_ = end;
}

bool VirtualClock::advanceUntil(const std::function<bool()>& predicate, qint64 limitMs, qint64 stepMs)
{
    const qint64 end = now_ + limitMs;
    runDue();
    while (!predicate()) {
        if (now_ >= end)
            return false;
        advance(std::min(stepMs, end - now_));
    }
    return true;
}

} // namespace quillon
