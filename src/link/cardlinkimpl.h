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

    // The running flow; a newer flow, a Cancel or shut-down supersedes it.
    struct Flow {
        FlowKind kind = FlowKind::Get;
        quint64 id = 0;
        bool active = false;
        SendSource source;
    } flow;
    quint64 flowCounter = 0;
    std::optional<quint8> flashResult;
    // Callbacks the port may still hold look at this before touching the connection.
    std::shared_ptr<int> lifetime = std::make_shared<int>(0);
    bool portInUse = false; // opened by this connection and not yet closed by it

    Task<bool> sendPacket(QByteArray payload) { return transmitter.sendPacket(std::move(payload)); }
    void stopRetransmissionTimer() { transmitter.stopRetransmissionTimer(); }
    void failRetransmission();
    void portVanished();
    void fail(LinkFailure failure) { Q_EMIT q.failed(failure); }

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

    // connection
    Task<bool> openConnection(); // true when the card identified itself
    Task<void> openPortJob();
    Task<void> establishLink();
    void onKeepAliveTick();
    Task<void> keepAlivePacket();

    // flows
    quint64 startFlow(FlowKind kind);
    Task<bool> beginFlow(quint64 id);
    Task<void> getFlow(quint64 id);
    Task<void> sendFlow(quint64 id);
    void endFailedOpening(quint64 id, quint64 generationAtOpening);
    bool superseded(quint64 id) const { return !flow.active || flow.id != id; }
    void finishFlow(FlowOutcome outcome, FlowEnd end);
    void endTransfer(EndReason reason);
    std::optional<EndReason> lastEnd; // of the running flow's connection
};

} // namespace quillon
