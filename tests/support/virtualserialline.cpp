// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualserialline.h"

#include "link/serialsettings.h"

#include <cmath>

namespace quillon::sim {

VirtualSerialLine::VirtualSerialLine(VirtualClock& clock, SimulatedCard& card, int cardPort,
                                     std::set<int> openablePorts)
    : clock_(clock), card_(card), cardPort_(cardPort), openable_(std::move(openablePorts))
{
    card_.onSend = [this](const QByteArray& bytes) { fromCard(bytes); };
}

VirtualSerialLine::~VirtualSerialLine()
{
    *alive_ = false;
    card_.onSend = nullptr;
}

void VirtualSerialLine::setSettings(const QString& settings)
{
    if (parseLineSettings(settings))
        settings_ = settings;
}

bool VirtualSerialLine::setPortOpen(bool open)
{
    if (!open) {
        open_ = false;
        openPort_ = 0;
        inBuffer_.clear();
        return true;
    }
    if (open_)
        return true;
    if (!openable_.contains(commPort_)) {
        lastError_ = QStringLiteral("No such device");
        return false;
    }
    open_ = true;
    openPort_ = commPort_;
    ++openings_;
    lastError_.clear();
    return true;
}

QByteArray VirtualSerialLine::input(int maxBytes)
{
    const QByteArray out = inBuffer_.left(std::max(0, maxBytes));
    inBuffer_.remove(0, out.size());
    return out;
}

qint64 VirtualSerialLine::occupyLine(double& freeAtMs, qsizetype bytes, int baud)
{
    const double start = std::max(freeAtMs, static_cast<double>(clock_.nowMs()));
    freeAtMs = start + bytes * 11000.0 / baud;
    return static_cast<qint64>(std::ceil(freeAtMs)) - clock_.nowMs();
}

// Each byte arrives once its own line time is over, after the bytes before it.
void VirtualSerialLine::output(const QByteArray& bytes)
{
    if (!open_ || bytes.isEmpty())
        return;
    const bool toCard = joinedToCard();
    const int baud = hostBaud();
    log_.append({clock_.nowMs(), true, bytes, baud, false, !toCard});
    const qsizetype logIndex = log_.size() - 1;
    const qsizetype generation = discardedAtMs_.size();
    for (char byte : bytes) {
        const double startsAtMs = std::max(hostLineFreeMs_, static_cast<double>(clock_.nowMs()));
        const qint64 delay = occupyLine(hostLineFreeMs_, 1, baud);
        pendingStartsMs_.push_back(startsAtMs);
        clock_.post(delay, [this, alive = alive_, byte, baud, toCard, logIndex, generation, startsAtMs] {
            if (!*alive)
                return;
            if (generation < discardedAtMs_.size() && startsAtMs >= discardedAtMs_[generation])
                return; // dropped before it started along the line
            pendingStartsMs_.pop_front();
            if (toCard) {
                const bool garbled = baud != card_.baud();
                log_[logIndex].garbled = log_[logIndex].garbled || garbled;
                card_.receive(QByteArray(1, garbled ? '\xFF' : byte));
            }
            if (pendingStartsMs_.empty() && open_ && onOutputDrained)
                onOutputDrained();
        });
    }
}

void VirtualSerialLine::discardOutput()
{
    if (!open_)
        return;
    const double now = static_cast<double>(clock_.nowMs());
    discardedAtMs_.append(now);
    while (!pendingStartsMs_.empty() && pendingStartsMs_.back() >= now)
        pendingStartsMs_.pop_back();
    // The byte already on the line still arrives.
    if (!pendingStartsMs_.empty())
        hostLineFreeMs_ = std::min(hostLineFreeMs_, pendingStartsMs_.back() + 11000.0 / hostBaud());
    else
        hostLineFreeMs_ = std::min(hostLineFreeMs_, now);
}

void VirtualSerialLine::whenSent(std::function<void()> done)
{
    const qint64 delay = std::max<qint64>(0, static_cast<qint64>(std::ceil(hostLineFreeMs_)) - clock_.nowMs());
    clock_.post(delay, [alive = alive_, done = std::move(done)] {
        if (*alive)
            done();
    });
}

void VirtualSerialLine::fromCard(const QByteArray& bytes)
{
    const int baud = card_.baud();
    log_.append({clock_.nowMs(), false, bytes, baud, false, false});
    const qsizetype logIndex = log_.size() - 1;
    for (char byte : bytes) {
        const qint64 delay = occupyLine(cardLineFreeMs_, 1, baud);
        clock_.post(delay, [this, alive = alive_, byte, baud, logIndex] {
            if (!*alive)
                return;
            // A port that is closed when the byte arrives never sees it.
            if (!joinedToCard()) {
                log_[logIndex].lost = true;
                return;
            }
            const bool garbled = baud != hostBaud();
            log_[logIndex].garbled = log_[logIndex].garbled || garbled;
            inBuffer_.append(garbled ? '\xFF' : byte);
            if (onComm)
                onComm(DataReceived);
        });
    }
}

void VirtualSerialLine::unplug()
{
    openable_.erase(cardPort_);
    if (!joinedToCard())
        return;
    open_ = false;
    openPort_ = 0;
    inBuffer_.clear();
    clock_.post(0, [this, alive = alive_] {
        if (*alive && onComm)
            onComm(DataReceived);
    });
}

void VirtualSerialLine::raiseWriteTimeout()
{
    clock_.post(0, [this, alive = alive_] {
        if (*alive && onComm)
            onComm(WriteTimeout);
    });
}

QByteArray VirtualSerialLine::sentByHost() const
{
    QByteArray out;
    for (const Transfer& t : log_)
        if (t.fromHost)
            out += t.bytes;
    return out;
}

QByteArray VirtualSerialLine::sentByCard() const
{
    QByteArray out;
    for (const Transfer& t : log_)
        if (!t.fromHost)
            out += t.bytes;
    return out;
}

} // namespace quillon::sim
