// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace quillon {

// SIGTERM and SIGINT (a logout, Ctrl+C in a terminal) turned into a call on the event loop, so
// that the program ends as it does when the operator ends it: with the port closed and
// everything saved. The signal handler only writes a byte to a socket pair; the event loop reads
// it and calls onStop. One object at a time; the handlers before it come back when it goes.
// On Windows, the console's Ctrl+C stands for SIGINT, Ctrl+Break and closing the console for
// SIGTERM. Elsewhere the object does nothing.
class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal)> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    void readSignal();

    std::function<void(int)> onStop_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

} // namespace quillon
