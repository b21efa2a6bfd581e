// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the card link tells its listeners, as values: the stages of a connection, the card it
// identified, how a flow ended and what went wrong. The words for the operator are the
// application's (LinkPresenter).

#include "endreason.h"
#include "netfailure.h"
#include "protocol.h"
#include "../setup/cardtype.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillon {

// Stages of a connection, as a progress bar follows them.
enum class TransferStage { LinkSetUp, CardIdentified, ImageTransferred, FlashResult };

// Get: the card's set-up, to be held. Read: the same, for its caller alone (a backup, a verify,
// a comparison). Send: the held set-up to the card.
enum class FlowKind { Get, Send, Read };
enum class FlowOutcome { Succeeded, Failed, Cancelled };
// How a flow ended, as far as anything is left to say at its end.
enum class FlowEnd {
    Done,               // the set-up was received, or sent and written to flash
    Cancelled,
    ConnectionEnded,    // the connection ended under the flow (said when it ended, if at all)
    ImageRefused,       // the caller had no image to send (and said why)
    VersionNotVerified, // no version report in time
    NotConfirmed,       // the image was acknowledged, the flash result never came
    NotDelivered,       // the image was not acknowledged, or the flash write failed
};
struct FlowResult {
    FlowKind kind = FlowKind::Get;
    FlowOutcome outcome = FlowOutcome::Failed;
    FlowEnd end = FlowEnd::ConnectionEnded;
    std::optional<EndReason> reason;  // what ended the last connection, if one ended
    std::optional<quint8> flashResult; // a Send's, when the card reported one
};

// The card's application id: its kind ("A" AVM, "S" SID; unknown otherwise) and the serial
// number it sent before.
struct CardIdentity {
    std::optional<CardType> kind;
    QByteArray serial;
};

// A failure the operator is told of: what went wrong, and what a message needs to say so. New
// fields may be added as messages learn to say more; the link fills what it knows.
struct LinkFailure {
    enum Kind {
        PortNotUsable,        // the selected port is not one that can be used
        PortNotOpened,        // opening it failed
        PortGone,             // the keep-alive found the port closed
        CardSilent,           // the keep-alive found no link up: nothing answered the serial exchange
        PortVanished,         // the device went away under a transfer
        CardNotIdentified,    // no application id in time
        RetransmissionFailed, // a packet went unacknowledged too often
        WriteTimeout,         // the port reported a clear-to-send timeout
        UnknownDevice,        // stray bytes at the opening speed
        CardVersionTooOld,    // the card takes set-ups of an older version only
        ImageInvalid,         // the card sent a set-up that is neither kind, or holds values out of range
        LineSpeedFixed,       // an AVM card on a port whose line speed cannot be changed (raw TCP)
    };
    LinkFailure(Kind what) : kind(what) {}
    Kind kind;
    int port = 0;            // 1..4: the port selected
    QString device;          // what the port stands for, when known
    QString portError;       // the port's own words ("Permission denied"), when it gave any
    QString findings;        // what was found behind a port's failure and the next step
    int cardVersion = -1;    // CardVersionTooOld
    int setupVersion = -1;   // CardVersionTooOld: the version of the set-up to be sent
    qsizetype imageSize = -1; // ImageInvalid, and its version byte:
    int imageVersion = -1;
    QString refusal;         // ImageInvalid: why a SID set-up's values cannot be taken, in words;
                             // LineSpeedFixed: why the port cannot switch, naming the way that can
    qint64 bytesHeard = -1;  // CardSilent: the bytes that arrived on the connection meanwhile
    int waitedMs = -1;       // CardSilent: how long the card was waited for
    NetFailure network;      // a port on a serial server: why it did not open or was lost
};

} // namespace quillon
