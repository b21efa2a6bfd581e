// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtlinkclock.h"

#include <QTimer>

namespace quillon {

namespace {

class QtLinkTimer : public LinkTimer {
public:
    QtLinkTimer()
    {
        timer_.setSingleShot(true);
        // The link's intervals are short (50 ms, 100 ms); a coarse timer may be 5 % late.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimeout)
                onTimeout();
        });
    }
    void start(int intervalMs) override { timer_.start(std::max(0, intervalMs)); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace

QtLinkClock::QtLinkClock() { elapsed_.start(); }

qint64 QtLinkClock::nowMs() const { return elapsed_.elapsed(); }

std::unique_ptr<LinkTimer> QtLinkClock::createTimer() { return std::make_unique<QtLinkTimer>(); }

} // namespace quillon
