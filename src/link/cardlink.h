// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "endreason.h"
#include "linkclock.h"
#include "linkevents.h"
#include "linkstate.h"
#include "portselection.h"
#include "serialcontrol.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

namespace quillon {

class LinkObserver;
class TraceFile;

// What a Send sends, asked of its caller as the flow gets there: the version of the set-up about
// to be sent (when the card reports the version it takes), then the image (nothing: refused, and
// the caller has said why). cardVersion: the card's report, when it was the last packet.
struct SendSource {
    std::function<quint8()> setupVersion;
    std::function<std::optional<QByteArray>(std::optional<quint8> cardVersion)> image;
};

// The card connection: the dispatcher of the card's commands, Open Port and Close Port with the
// keep-alive, the Get, Read and Send flows, and endTransfer. Sending is PacketTransmitter's,
// reading PacketReceiver's. It never waits in a loop: every wait of the flows is a suspended job
// that the next serial event or timer resumes. It tells what happens through its signals (and
// frame by frame through LinkObservers); it never speaks to the operator and holds no set-up.
class CardLink : public QObject {
    Q_OBJECT
public:
    CardLink(SerialControl& port, LinkClock& clock, PortSelection& ports, TraceFile& trace);
    ~CardLink() override;

    // Commands. A flow started while another runs ends that one first.
    void get();  // the card's set-up, to be held: imageReceived, then flowEnded
    void read(); // the same, for the caller alone
    void send(SendSource source);
    void openPort();  // the Controls window's "Open Port"
    void closePort(); // the Controls window's "Close Port"
    void cancel();    // the progress dialog's Cancel: endTransfer(Cancelled)
    void endTransfer(EndReason reason);
    // Closing the main window: stop the timers, endTransfer(Completed), drop every waiting job.
    void shutdown();

    // Told of frames, retransmissions, NACKs, CRC errors, timeouts and speed changes, in the
    // order added; each must outlive the link.
    void addObserver(LinkObserver* observer);

    // Read-only view of the link state, for the windows and tests.
    const LinkState& state() const;
    bool portOpen() const;
    std::optional<FlowKind> runningFlow() const;
    bool flowRunning() const { return runningFlow().has_value(); }
    std::size_t jobCount() const; // waiting jobs, for tests

Q_SIGNALS:
    void flowStarted(FlowKind kind);
    void portOpening(int port); // no card is known on it until one identifies itself
    // A port on a serial server (device: what the port stands for, when known) measured a round
    // trip above the one up to which the card's own timers let transfers run clean (both in
    // milliseconds); the transfer goes on. Told at every opening.
    void roundTripAboveLimit(const QString& device, double roundTripMs, double limitMs);
    void stageReached(TransferStage stage);
    void serialNumberReceived(const QByteArray& serial);
    void cardIdentified(const CardIdentity& card);
    void framing(CheckMode check, bool header, bool dataSeen); // each packet dispatched
    void keepAliveTicked(int ticksSinceSerial, int unanswered); // every 5 s while the link is up
    void retransmitting(int retryCount); // no acknowledgement in time: the packet goes again
    void versionAccepted(); // the card takes the version of the set-up to be sent
    // A Get's or Read's image (or one that arrives on a connection opened by hand), checked to
    // be a SID or an AVM set-up, with the card's serial.
    void imageReceived(const QByteArray& image, const QByteArray& cardSerial);
    void imageSending();      // a Send's image goes to the port: from now on the card may take it
    void imageAcknowledged(); // the card took it
    void flashReported(quint8 result); // after the connection the flash result ended
    void connectionEnded(EndReason reason);
    void failed(const LinkFailure& failure);
    // Once per flow; and as a Get's when a set-up arrives on a connection opened by hand.
    void flowEnded(const FlowResult& result);
    void closedByHand(); // Close Port

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon
