// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../setup/heldsetup.h"
#include "../setup/operatorui.h"
#include "endreason.h"
#include "linkclock.h"
#include "linkstate.h"
#include "portselection.h"
#include "serialcontrol.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace quillon {

class LinkObserver;
class TraceFile;

// How a Get or Send ended, for callers that need more than what the operator was shown.
// Read is a Get that leaves the held set-up alone: the image goes to onImageReceived only.
enum class FlowKind { Get, Send, Read };
enum class FlowOutcome { Succeeded, Failed, Cancelled };

// The card connection: the dispatcher of the card's commands, Open Port and Close Port with the
// keep-alive, the Get and Send flows, and endTransfer. Sending is PacketTransmitter's, reading
// PacketReceiver's. It owns the keep-alive (5 s) and button-restore (20 s) timers. It never
// waits in a loop: every wait of the flows is a suspended job that the next serial event or
// timer resumes.
class CardLink {
public:
    CardLink(SerialControl& port, LinkClock& clock, PortSelection& ports, HeldSetup& held,
             OperatorUi& ui, TraceFile& trace);
    ~CardLink();
    CardLink(const CardLink&) = delete;
    CardLink& operator=(const CardLink&) = delete;

    // Commands.
    void getConfiguration();  // Tools > Get Configuration, toolbar button 6
    void sendConfiguration(); // Tools > Send Configuration, toolbar button 5
    void readCard();          // the Get flow without putting the set-up into the windows
    void openPort();          // the Controls window's "Open Port"
    void closePort();         // the Controls window's "Close Port"
    void cancel();            // the progress dialog's Cancel: endTransfer(Cancelled)
    void endTransfer(EndReason reason);
    // Closing the main window: stop the timers, endTransfer(Completed), drop every waiting job.
    void shutdown();

    // The name shown in the flash-result messages (currentFileName).
    std::function<QString()> currentFileName;
    // Told once per Get or Send when it ends.
    std::function<void(FlowKind, FlowOutcome)> onFlowFinished;
    // Told of every set-up image a Get or Read receives, with the card's serial, before
    // anything else is done with it.
    std::function<void(const QByteArray& image, const QByteArray& cardSerial)> onImageReceived;
    // Told when a Send writes its image to the port: from then on the card may take it.
    std::function<void()> onImageSending;
    // Told of each stage a connection passes, as the progress dialog is; ImageTransferred also
    // when a sent image has been acknowledged.
    std::function<void(TransferStage)> onProgress;

    // Told of frames, retransmissions, NACKs, CRC errors, timeouts and speed changes (null: nobody).
    void setObserver(LinkObserver* observer);

    // Read-only view of the link state, for the windows and tests.
    const LinkState& state() const;
    bool portOpen() const;
    bool flowRunning() const;
    std::size_t jobCount() const; // waiting jobs, for tests

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon
