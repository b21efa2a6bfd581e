// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netfailure.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace quillon {

// The members of the serial communications control that the link uses. Events are delivered
// later on the event loop, never from inside a call of one of these members.
class SerialControl {
public:
    enum CommEvent { DataReceived = 2, WriteTimeout = 1002, ReceiveOverflow = 1008, OpeningEnded = 3000 };

    virtual ~SerialControl() = default;

    virtual void setCommPort(int port) = 0; // 1..4: the device for the next opening
    virtual int commPort() const = 0;
    // "9600,n,8,2": baud, parity, data bits, stop bits; takes effect at once, also while open.
    virtual void setSettings(const QString& settings) = 0;
    virtual QString settings() const = 0;
    // Opening fails (false) when the device is missing or held elsewhere. Closing takes effect
    // at once for the caller (nothing more is read or written), while what is queued still
    // leaves the line at the current settings before the device is let go (bounded by its line
    // time plus a margin); settings made meanwhile apply at the next opening.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    virtual int inBufferCount() const = 0;  // received bytes waiting to be read
    virtual int outBufferCount() const = 0; // bytes not yet taken by the operating system
    virtual QByteArray input(int maxBytes) = 0;
    virtual void output(const QByteArray& bytes) = 0;
    // Drops what was written and is still queued at the host: a Cancel must not let the rest of
    // an image reach the card. The card sees a cut-off frame, which it discards. (What the
    // device's own buffers hold still leaves.)
    virtual void discardOutput() {}
    // Why the last opening failed, for the operator ("Permission denied").
    virtual QString lastError() const { return {}; }
    // Calls done, later on the event loop, once everything written so far has left the line:
    // the driver's queue is empty and the bytes have had their time on the line. Bounded by
    // that line time plus a margin. For waits before a change of speed. (This default, for
    // controls with no line of their own, calls it at once.)
    virtual void whenSent(std::function<void()> done) { done(); }
    // Why port 1..4 cannot be used, as far as the system shows it, and the next step; empty
    // when nothing is known. Reads the system, never changes it.
    virtual QString diagnose(int port) const { (void)port; return {}; }

    // A port on a serial server opens in the background (name look-up, connection, negotiation
    // of the line): setPortOpen(true) returns at once, portOpen() is true from then on, and
    // portOpening() too until the line is ready. Meanwhile written bytes are held and nothing
    // arrives. OpeningEnded is raised when it is over either way: then portOpen() says whether
    // the line is ready, and lastError() and diagnose() say why not. A local port is ready when
    // setPortOpen(true) returns.
    virtual bool portOpening() const { return false; }
    // Why this port cannot put its line at these settings (a raw TCP port keeps the server's:
    // no 1200 baud for an AVM card), for the link to refuse before it sends anything; empty
    // when it can.
    virtual QString settingsRefusal(const QString& settings) const { (void)settings; return {}; }
    // The measured time, in milliseconds, for a byte to reach the far end of the line and an
    // answer to come back, beyond the line time itself: 0 for a local port.
    virtual double roundTripMs() const { return 0; }
    // Why a port on a serial server failed to open or was lost, as a value; None for a local
    // port (its words are lastError() and diagnose()).
    virtual NetFailure netFailure() const { return {}; }

    // OnComm: DataReceived, WriteTimeout, OpeningEnded; also raised with DataReceived when the
    // port closed by itself (device unplugged, connection lost), so waiters look again.
    std::function<void(int event)> onComm;
    // The output buffer became empty: everything written has been taken by the system.
    std::function<void()> onOutputDrained;
};

// Up to this round trip to a serial server (milliseconds) transfers run clean: beyond it the
// card's own acknowledgement timer, which cannot be changed, runs out while the host's
// acknowledgement is on its way, and the card sends its frame again.
inline constexpr double CleanRoundTripMs = 200;

// The baud rate of a settings text such as "1200,n,8,2" (9600 when unreadable).
int baudOfSettings(const QString& settings);
// Whether two settings texts mean the same line settings ("9600,N,8,2" equals "9600,n,8,2").
bool sameSettings(const QString& a, const QString& b);

} // namespace quillon
