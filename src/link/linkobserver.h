// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "endreason.h"
#include "framecodec.h"

#include <QByteArray>
#include <vector>

namespace quillon {

// Told what happens on the link, for a readable frame log or a progress dialog's counters.
// Every member does nothing unless overridden; calls come from inside the link's own calls and
// must not call back into it.
class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    virtual void frameSent(const QByteArray& frame, PacketKind kind) { (void)frame; (void)kind; }
    // An unstuffed frame (control byte first); crcGood is false only where a check failed.
    virtual void frameReceived(const QByteArray& packet, bool crcGood) { (void)packet; (void)crcGood; }
    virtual void retransmitted(int retryCount) { (void)retryCount; } // a data packet went out again
    virtual void nackReceived() {}
    virtual void acknowledgementTimedOut() {}
    virtual void speedChanged(int baud) { (void)baud; }
    virtual void connectionOpened() {}
    virtual void connectionEnded(EndReason reason) { (void)reason; }
    // A byte outside frames: the SYN of a link reset, or the 0x06 that answers it.
    virtual void singleByte(quint8 byte, bool toCard) { (void)byte; (void)toCard; }
};

// Several observers behind the link's one: each is told in the order added.
class LinkObservers : public LinkObserver {
public:
    void add(LinkObserver* observer) { observers_.push_back(observer); }

    void frameSent(const QByteArray& frame, PacketKind kind) override { each([&](auto& o) { o.frameSent(frame, kind); }); }
    void frameReceived(const QByteArray& packet, bool crcGood) override
    {
        each([&](auto& o) { o.frameReceived(packet, crcGood); });
    }
    void retransmitted(int retryCount) override { each([&](auto& o) { o.retransmitted(retryCount); }); }
    void nackReceived() override { each([](auto& o) { o.nackReceived(); }); }
    void acknowledgementTimedOut() override { each([](auto& o) { o.acknowledgementTimedOut(); }); }
    void speedChanged(int baud) override { each([&](auto& o) { o.speedChanged(baud); }); }
    void connectionOpened() override { each([](auto& o) { o.connectionOpened(); }); }
    void connectionEnded(EndReason reason) override { each([&](auto& o) { o.connectionEnded(reason); }); }
    void singleByte(quint8 byte, bool toCard) override { each([&](auto& o) { o.singleByte(byte, toCard); }); }

private:
    template <typename Tell>
    void each(Tell&& tell)
    {
        for (LinkObserver* observer : observers_)
            tell(*observer);
    }
    std::vector<LinkObserver*> observers_;
};

} // namespace quillon
