// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

namespace quillon::sim {

// Measures a connection as the card's side of the line sees it: from the host's answer to the
// card's SYN to the host's closing SYN, against the time the bytes of both sides need on the
// line plus the pauses the protocol mandates (the host's 50 ms after an acknowledgement before
// its next data packet, the card's flash write). A ratio of 1.00 means the line never idled
// for anything else. Over a network each time the host answers the card (the line turns from
// the card's bytes to the host's: "answers") costs one round trip more. It also reports how long the card waited after the host's SYN before
// calling again, when the host answered that first call: the card's own time between connections.
class LineMeter {
public:
    void hostByte(quint8 byte, int baud, double atMs); // arrived at the card
    void cardByte(int baud);                           // left the card
    void pause(double ms);                             // a mandated pause of the card's
    void identified(); // the host pauses after its acknowledgements from now on
    void cardCalled(double atMs); // the card sent a SYN to start a connection

    std::function<void(const QString& line)> onReport;

private:
    void hostReset(double atMs);

    bool running_ = false;
    double startMs_ = 0;
    double lineMs_ = 0;
    double pausesMs_ = 0;
    bool identified_ = false;
    int turns_ = 0;              // the host's answers: its bytes after the card's
    bool cardSpokeLast_ = false;
    // the host's frames, for its pause after an acknowledgement
    bool inFrame_ = false;
    int frameBytes_ = 0;
    int control_ = -1;
    double lastAckLineMs_ = -1; // the host's last frame was an Ack of this line time
    // the card's own wait between the host's SYN and its next call
    double resetMs_ = -1;
    double lastCallMs_ = 0;
    int callsSinceReset_ = 0;
};

} // namespace quillon::sim
