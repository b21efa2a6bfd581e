// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linkclock.h"

#include <QElapsedTimer>

namespace quillon {

// Real time on the Qt event loop: single-shot QTimers, and a monotonic clock for now.
class QtLinkClock : public LinkClock {
public:
    QtLinkClock();
    qint64 nowMs() const override;
    std::unique_ptr<LinkTimer> createTimer() override;

private:
    QElapsedTimer elapsed_;
};

} // namespace quillon
