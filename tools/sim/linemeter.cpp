// SPDX-License-Identifier: GPL-3.0-or-later
#include "linemeter.h"

#include "link/protocol.h"

#include <algorithm>
#include <utility>

namespace quillon::sim {

namespace {

constexpr double HostPauseMs = 50;

double byteMs(int baud) { return 11000.0 / std::max(1, baud); }

} // namespace

void LineMeter::hostByte(quint8 byte, int baud, double atMs)
{
    if (!running_) {
        if (byte == SYN)
            hostReset(atMs);
        if (byte == AckByte) { // the host answered the card's SYN
            if (callsSinceReset_ == 1 && resetMs_ >= 0 && onReport)
                onReport(QStringLiteral("card waited: %1 ms after the host's SYN before calling")
                             .arg(QString::number(lastCallMs_ - resetMs_, 'f', 1)));
            running_ = true;
            startMs_ = atMs;
            lineMs_ = pausesMs_ = 0;
            turns_ = 0;
            cardSpokeLast_ = false;
            identified_ = false;
            inFrame_ = false;
            lastAckLineMs_ = -1;
        }
        return;
    }
    lineMs_ += byteMs(baud);
    if (std::exchange(cardSpokeLast_, false))
        ++turns_;
    if (byte == SYN && !inFrame_) {
        running_ = false;
        hostReset(atMs);
        const double elapsed = atMs - startMs_;
        const double due = lineMs_ + pausesMs_;
        if (onReport)
            onReport(QStringLiteral("connection: %1 ms for %2 ms of line time and %3 ms of pauses, %4 answers: ratio %5")
                         .arg(QString::number(elapsed, 'f', 1), QString::number(lineMs_, 'f', 1),
                              QString::number(pausesMs_, 'f', 1), QString::number(turns_),
                              QString::number(elapsed / std::max(1.0, due), 'f', 3)));
        return;
    }
    if (byte == STX) {
        inFrame_ = true;
        frameBytes_ = 1;
        control_ = -1;
        return;
    }
    if (!inFrame_)
        return;
    ++frameBytes_;
    if (control_ < 0)
        control_ = byte;
    if (byte != ETX)
        return;
    inFrame_ = false;
    // Its Ack went first, with the pause from the Ack's start (only once the card is identified).
    if (control_ == 0xC2 && lastAckLineMs_ >= 0 && identified_)
        pausesMs_ += std::max(0.0, HostPauseMs - lastAckLineMs_);
    lastAckLineMs_ = control_ == 0x42 ? frameBytes_ * byteMs(baud) : -1;
}

void LineMeter::hostReset(double atMs)
{
    resetMs_ = atMs;
    callsSinceReset_ = 0;
}

void LineMeter::cardCalled(double atMs)
{
    ++callsSinceReset_;
    lastCallMs_ = atMs;
}

void LineMeter::identified()
{
    identified_ = running_;
}

void LineMeter::cardByte(int baud)
{
    if (!running_)
        return;
    lineMs_ += byteMs(baud);
    cardSpokeLast_ = true;
}

void LineMeter::pause(double ms)
{
    if (running_)
        pausesMs_ += std::max(0.0, ms);
}

} // namespace quillon::sim
