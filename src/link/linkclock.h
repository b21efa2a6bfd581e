// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace quillon {

// A one-shot timer: after start(ms) it fires onTimeout once unless stopped or restarted.
class LinkTimer {
public:
    virtual ~LinkTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    std::function<void()> onTimeout;
};

// The link's one seam for time: Qt's event loop in the program, virtual time in tests.
class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual qint64 nowMs() const = 0;
    virtual std::unique_ptr<LinkTimer> createTimer() = 0;
};

} // namespace quillon
