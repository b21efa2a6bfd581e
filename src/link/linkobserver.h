// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "endreason.h"
#include "framecodec.h"

#include <QByteArray>

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

} // namespace quillon
