// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkstatistics.h"

#include "linkclock.h"

namespace quillon {

namespace {

LinkCounters added(const LinkCounters& a, const LinkCounters& b)
{
    LinkCounters sum = b;
    sum.framesSent += a.framesSent;
    sum.framesReceived += a.framesReceived;
    sum.retransmissions += a.retransmissions;
    sum.nacks += a.nacks;
    sum.crcErrors += a.crcErrors;
    if (sum.lastFailure.isEmpty())
        sum.lastFailure = a.lastFailure;
    return sum;
}

} // namespace

LinkStatistics::LinkStatistics(LinkClock& clock) : clock_(clock) {}

void LinkStatistics::connectionOpened()
{
    counters_ = {};
    openedAtMs_ = clock_.nowMs();
    connected_ = true;
    changed();
}

void LinkStatistics::connectionEnded(EndReason)
{
    if (!std::exchange(connected_, false))
        return; // an ending with no connection behind it
    earlier_ = added(earlier_, counters_);
    if (onConnectionEnded)
        onConnectionEnded(counters_);
}

LinkCounters LinkStatistics::totals() const { return connected_ ? added(earlier_, counters_) : earlier_; }

void LinkStatistics::frameSent(const QByteArray&, PacketKind kind)
{
    ++counters_.framesSent;
    if (kind == PacketKind::Resend)
        ++counters_.retransmissions;
    changed();
}

void LinkStatistics::frameReceived(const QByteArray&, bool crcGood)
{
    ++counters_.framesReceived;
    if (crcGood) {
        changed();
        return;
    }
    ++counters_.crcErrors;
    failed(QStringLiteral("a frame from the card had a bad CRC"));
}

void LinkStatistics::nackReceived()
{
    ++counters_.nacks;
    failed(QStringLiteral("the card refused a packet (NACK)"));
}

void LinkStatistics::acknowledgementTimedOut() { failed(QStringLiteral("no acknowledgement in time")); }

void LinkStatistics::singleByte(quint8 byte, bool toCard)
{
    if (byte != SYN || toCard || !connected_ || counters_.cardSynAfterMs >= 0)
        return;
    counters_.cardSynAfterMs = clock_.nowMs() - openedAtMs_;
    changed();
}

void LinkStatistics::failed(const QString& why)
{
    counters_.lastFailure = why;
    changed();
}

void LinkStatistics::changed()
{
    if (onChanged)
        onChanged();
}

QString countersLine(const LinkCounters& c)
{
    const QString syn = c.cardSynAfterMs < 0 ? QStringLiteral("no SYN from the card")
                                             : QStringLiteral("card's SYN after %1 ms").arg(c.cardSynAfterMs);
    return QStringLiteral("link: %1, frames sent %2, received %3, retransmissions %4, NACKs %5, CRC errors %6, last failure: %7")
        .arg(syn, QString::number(c.framesSent), QString::number(c.framesReceived), QString::number(c.retransmissions),
             QString::number(c.nacks), QString::number(c.crcErrors),
             c.lastFailure.isEmpty() ? QStringLiteral("none") : c.lastFailure);
}

QString countersText(const LinkCounters& c)
{
    return QStringLiteral("Frames sent %1, received %2\nRetransmissions %3, NACKs %4, CRC errors %5\nLast failure: %6")
        .arg(QString::number(c.framesSent), QString::number(c.framesReceived), QString::number(c.retransmissions),
             QString::number(c.nacks), QString::number(c.crcErrors),
             c.lastFailure.isEmpty() ? QStringLiteral("none") : c.lastFailure);
}

} // namespace quillon
