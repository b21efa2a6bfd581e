// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol.h"
#include "../setup/cardtype.h"

#include <QByteArray>

namespace quillon {

// The link state, part by part as each owner keeps it, with the idle values of a fresh start.
// Each part knows what the card's SYN (a link reset) and the end of a connection do to it.

// The frame form the card's control bytes select.
struct FrameForm {
    CheckMode checkMode = CheckMode::None;
    bool headerMode = false;
    void reset() { *this = {}; }
};

// The transmitter's: one data packet outstanding at a time.
struct TransmitterState {
    quint8 ownSeq = 0;        // the host's sequence bit
    bool ackReceived = false; // the outstanding packet is acknowledged (true: none outstanding)
    QByteArray savedPacket;
    int retryCount = 0;
    // Both a SYN and the end of a connection leave nothing outstanding.
    void resetLink()
    {
        ownSeq = 1;
        ackReceived = true;
    }
};

// The receiver's: the frame being read and what it remembers of the card's.
struct ReceiverState {
    quint8 peerSeq = 0; // the card's last sequence bit
    bool inFrame = false;
    QByteArray frameBuffer;
    int strayCount = 0;
    int lastPeerSeq = -1; // byte 2 of the last data packet accepted
    bool dataSeen = false; // a packet with a known control byte was dispatched
};

// The connection's: how far the card has come, and the keep-alive's counts.
struct ConnectionState {
    bool linkUpgraded = false; // 16-bit CRC with header agreed
    bool linkUp = false;       // the serial exchange is done
    bool cardIdentified = false;
    // Keep-alive ticks since the card's serial number: 2 when the wait for the card starts, 1
    // when the number comes, one more every 5 s; the card must identify itself before it passes 4.
    int ticksSinceSerial = 0;
    int keepAliveCount = 0; // keep-alive ticks with a packet unacknowledged
    bool versionVerdict = false;
    CardType cardKind = CardType::SID; // as the card last identified itself
    // The card's 5-byte serial number from its last command 2; empty until one arrives on this
    // link. A SYN clears it; the end of a connection keeps it for whoever asks afterwards.
    QByteArray cardSerial;
    void resetProgress()
    {
        linkUpgraded = false;
        linkUp = false;
        cardIdentified = false;
    }
};

struct LinkState : FrameForm, TransmitterState, ReceiverState, ConnectionState {
    // The card reset the link with a SYN.
    void resetOnSyn()
    {
        FrameForm::reset();
        TransmitterState::resetLink();
        resetProgress();
        versionVerdict = false;
        cardSerial.clear();
        strayCount = 0;
    }
    // endTransfer.
    void resetOnEnd()
    {
        FrameForm::reset();
        TransmitterState::resetLink();
        resetProgress();
        ticksSinceSerial = 0;
    }
};

} // namespace quillon
