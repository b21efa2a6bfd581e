// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/linkclock.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace quillon::sim {

enum class CardKind { Sid, Avm };

// Misbehaviour on demand, tried in this order for each host data frame. Counters are used up as
// they act; they are armed once the card has identified itself, or from the start
// (CardOptions::faultsFromStart). NACKs then one ignored frame make a retransmission fail.
struct CardFaults {
    int nackNext = 0;       // good host data frames answered with a NACK and not acted on
    int ignoreNext = 0;     // host data frames ignored altogether, as if lost on the line
    int dropAcks = 0;       // host data frames acted on but not acknowledged
    int ackDelayMs = 0;     // every host data frame is handled (acknowledged) this much later
    int corruptCrcNext = 0; // own data frames sent with a wrong CRC
};

struct CardOptions {
    CardKind kind = CardKind::Sid;
    QByteArray image;                 // empty: the default image of the kind
    int version = -1;                 // set-up version reported; -1: 0 for SID, else the image's (at least 1)
    quint8 flashResult = 0;           // result of writing a received image to flash
    int flashMs = 300;                // writing the flash takes this long after the image's ACK
    bool implicitAck = false;         // no ACK for an image: the flash result, sent at once, is its acknowledgement
    bool synAfterIdentification = false; // answer the first request after identification with a SYN
    bool unknownDevice = false;       // three stray bytes where a card would send its SYN
    bool silent = false;              // never sends anything
    bool neverIdentify = false;       // sets up the link and answers keep-alives, never identifies
    bool paceAtLineRate = false;      // hands bytes out at the line rate (11 bits a byte)
    bool storeDifferently = false;    // keeps storedDifferently() of each image received
    bool faultsFromStart = false;
    CardFaults faults;

    QByteArray serialNumber = QByteArray::fromHex("4b58343031"); // 5 bytes
    int synIntervalMs = 500;
    int retransmitMs = 300;
    int maxRetransmits = 6;
    int linkSetupTimeoutMs = 1000; // no answer to LinkSetup: back to SYN
    int idleResetMs = 12000;       // no good frame from the host in a connection: back to SYN
};

enum class CardPhase { Stopped, Syncing, LinkSetup, SerialNumber, AppId, Ready };
QString phaseName(CardPhase phase);

// The card's own CRC-16 (bitwise; the host's is table driven): the check of its frames.
quint16 cardCrc(const QByteArray& bytes);

// The default set-up image of a card kind: the factory SID image, or a made-up 120-byte AVM
// image (byte 0 24, byte 1 version 1).
QByteArray defaultCardImage(CardKind kind);

// What a faulty card keeps of a received image: one byte changed. A SID image gets the next
// audio level (a setting the Audio window shows); any longer image has its last byte inverted.
QByteArray storedDifferently(const QByteArray& image);

// A KX40 card as the host sees it over the line, without any I/O: bytes from the host come in
// through receive(), bytes to the host leave through onSend, time passes on the LinkClock.
// It leads the link set-up (SYN, LinkSetup, serial number, application id request, application
// id), then serves Get and Send requests, and starts over at every SYN from the host.
class SimulatedCard {
public:
    SimulatedCard(LinkClock& clock, CardOptions options = {});
    ~SimulatedCard();
    SimulatedCard(const SimulatedCard&) = delete;
    SimulatedCard& operator=(const SimulatedCard&) = delete;

    void start();
    void stop();
    void receive(const QByteArray& bytes);

    std::function<void(const QByteArray& bytes)> onSend;
    std::function<void()> onSyncAttempt;             // before each SYN (or stray bytes)
    std::function<void(int baud)> onBaudChanged;
    std::function<void()> onIdentified;              // the host acknowledged the application id
    std::function<void(const QByteArray& image)> onImageReceived;
    std::function<void(const QString& line)> onLog;
    // What the card saw of the host: its SYN (at the card's speed), the ACK of the flash
    // report, bytes garbled by a speed mismatch.
    std::function<void(const QString& line)> onNotice;
    // A pause the card takes on purpose (its flash write, less its acknowledgement's line time).
    std::function<void(double ms)> onPause;

    CardPhase phase() const { return phase_; }
    int baud() const { return baud_; }
    const QByteArray& image() const { return image_; }
    CardFaults& faults() { return faults_; }
    const CardOptions& options() const { return options_; }
    int identifications() const { return identifications_; }
    int retransmissions() const { return retransmissions_; }
    int nacksSent() const { return nacksSent_; }
    // Payloads of the host's data packets the card acted on, oldest first.
    const QList<QByteArray>& received() const { return received_; }

private:
    struct Chunk {
        QByteArray bytes;
        std::function<void()> afterSent;
    };

    void resetLink();
    void syncTick();
    void byteIn(quint8 byte);
    void frameIn(const QByteArray& raw);
    void hostData(const QByteArray& packet, bool delayed);
    void act(const QByteArray& payload);
    void serve(const QByteArray& payload);
    void queueData(const QByteArray& payload);
    void startFlashWrite();
    void sendNext();
    void transmitOutstanding();
    void outstandingAcknowledged();
    void retransmitTimeout();
    void sendAck(quint8 seq);
    void sendNack(quint8 seq);
    void sendSynAndRestart();
    void setBaud(int baud);
    void transmit(const QByteArray& bytes, std::function<void()> afterSent = {});
    void pace();
    void runDelayed();
    bool faultsArmed() const { return faultsArmed_; }
    int lineTimeMs(qsizetype bytes) const;
    void log(const QString& line);
    void notice(const QString& line);

    LinkClock& clock_;
    CardOptions options_;
    CardFaults faults_;
    QByteArray image_;

    std::unique_ptr<LinkTimer> syncTimer_;
    std::unique_ptr<LinkTimer> retransmitTimer_;
    std::unique_ptr<LinkTimer> watchdog_;
    std::unique_ptr<LinkTimer> paceTimer_;
    std::unique_ptr<LinkTimer> delayTimer_;
    std::unique_ptr<LinkTimer> flashTimer_;

    CardPhase phase_ = CardPhase::Stopped;
    int baud_ = 9600;
    bool faultsArmed_ = false;
    bool synPending_ = false;

    // receiving
    bool inFrame_ = false;
    QByteArray frame_;
    bool hostSeqKnown_ = false;
    quint8 lastHostSeq_ = 0;
    QList<std::pair<qint64, QByteArray>> delayed_;

    // sending
    quint8 ownSeq_ = 0;
    QList<QByteArray> outbox_;
    QByteArray outstanding_;
    int retries_ = 0;
    QList<Chunk> lineQueue_;
    double nextByteDueMs_ = 0;

    int identifications_ = 0;
    int retransmissions_ = 0;
    int nacksSent_ = 0;
    QList<QByteArray> received_;
};

} // namespace quillon::sim
