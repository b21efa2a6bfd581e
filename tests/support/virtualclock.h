// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/linkclock.h"

#include <functional>
#include <map>
#include <memory>

namespace quillon {

// Time that moves only when told to: timers fire in deadline order (ties in start order) as
// advance() passes their deadlines. For tests and the virtual serial line.
class VirtualClock : public LinkClock {
public:
    VirtualClock();
    ~VirtualClock() override;

    qint64 nowMs() const override { return now_; }
    std::unique_ptr<LinkTimer> createTimer() override;

    // Runs every action due up to now + ms, moving the time along with them.
    void advance(qint64 ms);
    // Runs what is due now (zero-delay callbacks posted with post()).
    void runDue() { advance(0); }
    // Advances until predicate holds or limitMs has passed; true when it held.
    bool advanceUntil(const std::function<bool()>& predicate, qint64 limitMs, qint64 stepMs = 1);
    // A one-off action after delayMs (0: at the next runDue/advance).
    void post(qint64 delayMs, std::function<void()> action);

private:
    friend class VirtualTimer;
    using Key = std::pair<qint64, quint64>; // deadline, sequence
    Key schedule(qint64 delayMs, std::function<void()> action);
    void cancel(const Key& key);

    qint64 now_ = 0;
    quint64 sequence_ = 0;
    std::map<Key, std::function<void()>> queue_;
    std::shared_ptr<bool> alive_;
};

} // namespace quillon
