// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The inside of CardLink, shared by its units: cardlink.cpp (dispatcher, answers, opening,
// keep-alive, end of a connection, public face) and connectionflows.cpp (the Get, Read and Send
// flows and what the card's set-up commands do to them).

#include "cardlink.h"
#include "linkcontext.h"
#include "packetreceiver.h"
#include "packettransmitter.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace quillon {

namespace cardlinkdetail {

inline const QString DefaultSettings = QStringLiteral("9600,N,8,2");
inline const QString OpeningSettings = QStringLiteral("9600,n,8,2");
inline const QString AvmSettings = QStringLiteral("1200,n,8,2");

inline constexpr int KeepAliveMs = 5000;
inline constexpr int VersionWaitMs = 3000;
inline constexpr int FlashReportWaitMs = 10000;
// A port on a serial server gives up opening within its own limits; this bounds the wait for it
// whatever happens.
inline constexpr int NetOpeningLimitMs = 20000;

} // namespace cardlinkdetail

// The connection: the dispatcher of the card's commands and the host's answers, the opening
// with its keep-alive, the flows, and the end of a connection.
struct CardLink::Impl {
    Impl(CardLink& owner, SerialControl& port, LinkClock& clock, PortSelection& ports, TraceFile& trace);

    CardLink& q;
    LinkContext link;
    PacketTransmitter transmitter;
    PacketReceiver receiver;
    SerialControl& port;
    PortSelection& ports;
    TraceFile& trace;
    LinkState& s;
    JobRunner& jobs;
    std::unique_ptr<LinkTimer> keepAliveTimer;
    std::optional<quint8> lastVersionReport; // the card's version, when the last packet was a report

    // The running flow. A newer flow clears every waiting job, its own included; a Cancel,
    // shut-down, or the end of its connection (for a Get or Read) ends it, and it sees so when
    // it resumes.
    struct Flow {
        FlowKind kind = FlowKind::Get;
        bool active = false;
        SendSource source;
    } flow;
    std::optional<quint8> flashResult;
    bool portInUse = false; // opened by this connection and not yet closed by it

    Task<bool> sendPacket(QByteArray payload) { return transmitter.sendPacket(std::move(payload)); }
    void stopRetransmissionTimer() { transmitter.stopRetransmissionTimer(); }
    void failRetransmission();
    void portVanished();
    void fail(const LinkFailure& failure) { Q_EMIT q.failed(failure); }
    // A failure on port 1..4, naming the device it stands for.
    LinkFailure failureOn(LinkFailure::Kind kind, int onPort) const
    {
        LinkFailure failure(kind);
        failure.port = onPort;
        failure.device = ports.deviceOf(onPort);
        return failure;
    }

    // dispatcher
    void handleCommand(const QByteArray& packet, bool verified);
    Task<void> answerPacket(QByteArray payload);
    Task<void> answerLinkUpgrade();
    Task<void> answerSerial(bool fromSerialNumber);
    Task<void> answerAppIdRequest();
    void onVersionReport(quint8 cardVersion);
    void onSetupData(const QByteArray& packet);
    void onFlashResult(quint8 result);
    std::optional<LinkFailure> imageRefusal(const QByteArray& image) const;
    bool refuseFixedSpeed();

    // connection
    Task<bool> openConnection(); // true when the card identified itself
    Task<void> openPortJob();
    Task<void> establishLink();
    void onKeepAliveTick();
    Task<void> keepAlivePacket();

    // flows
    void startFlow(FlowKind kind);
    Task<bool> beginFlow();
    Task<void> getFlow();
    Task<void> sendFlow();
    // Whether the flow running this job has ended, or the job was dropped for a newer one.
    bool ended() const { return !flow.active || jobs.currentDropped(); }
    void finishFlow(FlowOutcome outcome, FlowEnd end);
    void endTransfer(EndReason reason);
    std::optional<EndReason> lastEnd; // of the running flow's connection
};

} // namespace quillon
