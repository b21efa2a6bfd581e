#pragma once

#include "framecodec.h"
#include "../setup/cardtype.h"

#include <QByteArray>
#include <QString>

namespace quillon {

// The link state shared by transmitter and receiver, with the idle values of a fresh start.
struct LinkState {
    // frame form
    CheckMode checkMode = CheckMode::None;
    bool headerMode = false;
    quint8 peerSeq = 0; // the card's last sequence bit
    quint8 ownSeq = 0;  // the host's sequence bit
    // transmitter
    bool ackReceived = false; // the outstanding packet is acknowledged (true: none outstanding)
    bool nackReceived = false;
    bool sending = false;
    QByteArray savedPacket;
    int retryCount = 0;
    int keepAliveCount = 0;
    // connection progress
    bool linkUp = false;
    bool cardIdentified = false;
    bool linkUpgraded = false;
    int snCount = 0;
    bool versionVerdict = false;
    CardType cardKind = CardType::SID; // as the card last identified itself
    // receiver
    bool inFrame = false;
    QByteArray frameBuffer;
    int strayCount = 0;
    int lastPeerSeq = -1; // byte 2 of the last data packet accepted
    qint32 receivedCount = 0;
    bool dataSeen = false; // a packet with a known control byte was dispatched
    // The card's 5-byte serial number from its last command 2; empty until one arrives on this
    // link. A SYN clears it; the end of a connection keeps it for whoever asks afterwards.
    QByteArray cardSerial;
};

} // namespace quillon
