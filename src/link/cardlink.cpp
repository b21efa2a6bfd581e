// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardlink.h"

#include "cardlinkimpl.h"
#include "linkobserver.h"
#include "tracefile.h"


namespace quillon {

using namespace cardlinkdetail;

CardLink::Impl::Impl(CardLink& owner, SerialControl& port_, LinkClock& clock_, PortSelection& ports_, TraceFile& trace_)
    : q(owner), link(owner, port_, clock_, trace_), transmitter(link, clock_), receiver(link, transmitter),
      port(port_), ports(ports_), trace(trace_), s(link.s), jobs(link.jobs), keepAliveTimer(clock_.createTimer())
{
    link.endTransfer = [this](EndReason reason) { endTransfer(reason); };
    transmitter.onRetransmissionFailed = [this] { failRetransmission(); };
    receiver.onPacket = [this](const QByteArray& packet, bool verified) { handleCommand(packet, verified); };
    keepAliveTimer->onTimeout = [this] { onKeepAliveTick(); jobs.pump(); };
    port.onComm = [this](int event) {
        receiver.onComm(event);
        if (portInUse && !port.portOpen())
            portVanished();
        jobs.pump();
    };
    port.onOutputDrained = [this] {
        transmitter.outputDrained();
        jobs.pump();
    };
}

void CardLink::Impl::failRetransmission()
{
    keepAliveTimer->stop();
    endTransfer(EndReason::RetransmissionFailed);
    s.keepAliveCount = 0;
    fail({LinkFailure::RetransmissionFailed});
}

// The device went away under a running Get or Send (unplugged, its driver gone): the transfer
// fails at once and says so, instead of ending silently at its next send. An open port without
// a transfer is reported by the keep-alive tick.
void CardLink::Impl::portVanished()
{
    portInUse = false;
    if (!flow.active)
        return;
    LinkFailure failure = failureOn(LinkFailure::PortVanished, port.commPort());
    failure.portError = port.lastError();
    failure.network = port.netFailure();
    if (failure.network)
        failure.findings = port.diagnose(port.commPort());
    endTransfer(EndReason::PortClosed);
    finishFlow(FlowOutcome::Failed, FlowEnd::ConnectionEnded);
    fail(failure);
}

// ---------------------------------------------------------------- end of a connection

void CardLink::Impl::endTransfer(EndReason reason)
{
    portInUse = false;
    const bool wasOpen = port.portOpen();
    if (wasOpen) {
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        port.output(QByteArray(1, static_cast<char>(SYN)));
        link.tell([](LinkObserver& o) { o.singleByte(SYN, true); });
        port.setPortOpen(false); // lets the SYN leave first
    }
    trace.int16(reasonCode(reason));
    trace.close();
    link.tell([reason](LinkObserver& o) { o.connectionEnded(reason); });
    stopRetransmissionTimer();
    keepAliveTimer->stop();
    s.resetOnEnd();
    port.setSettings(DefaultSettings);
    link.token.renew();
    if (flow.active)
        lastEnd = reason;
    Q_EMIT q.connectionEnded(reason);
    if (flow.active && flow.kind != FlowKind::Send)
        finishFlow(reason == EndReason::Cancelled ? FlowOutcome::Cancelled : FlowOutcome::Failed,
                   reason == EndReason::Cancelled ? FlowEnd::Cancelled : FlowEnd::ConnectionEnded);
}

// ---------------------------------------------------------------- dispatcher

void CardLink::Impl::handleCommand(const QByteArray& packet, bool verified)
{
    const qsizetype offset = s.headerMode ? 3 : 1;
    if (packet.size() <= offset)
        return;
    const QByteArray p = packet.mid(offset);
    auto arg = [&p](qsizetype k) { return k < p.size() ? std::optional<quint8>(byteAt(p, k)) : std::nullopt; };
    const quint8 command = byteAt(p, 0);
    lastVersionReport.reset();
    // Commands that act on a set-up come only from an identified card in a verified frame.
    const bool trusted = verified && s.cardIdentified;

    switch (command) {
    case card::LinkSetup: {
        const auto a = arg(1), b = arg(2);
        if (!a || !b || *a != *b)
            return;
        if (*a == 0 || *a == 1 || *a == 2 || *a == 4 || *a == 5)
            jobs.spawn(answerPacket(hostpacket::LinkSetupAnswer));
        else if (*a == 6 && !s.linkUpgraded)
            jobs.spawn(answerLinkUpgrade());
        return;
    }
    case card::HostSerialRequest:
        jobs.spawn(answerSerial(false));
        return;
    case card::SerialNumber:
        s.cardSerial = verified && p.size() > 5 ? p.mid(1, 5) : QByteArray(); // names its backups
        Q_EMIT q.serialNumberReceived(s.cardSerial);
        if (!s.linkUp)
            jobs.spawn(answerSerial(true));
        return;
    case card::AppIdRequest:
        jobs.spawn(answerAppIdRequest());
        return;
    case card::AppId: {
        CardIdentity identity{std::nullopt, s.cardSerial};
        if (packet.size() > 8 && (byteAt(packet, 8) == 'A' || byteAt(packet, 8) == 'S'))
            identity.kind = byteAt(packet, 8) == 'A' ? CardType::AVM : CardType::SID;
        if (identity.kind)
            s.cardKind = *identity.kind;
        Q_EMIT q.cardIdentified(identity);
        if (identity.kind == CardType::AVM && refuseFixedSpeed())
            return;
        s.cardIdentified = true;
        Q_EMIT q.stageReached(TransferStage::CardIdentified);
        return;
    }
    case card::LinkCleared:
        s.linkUpgraded = false;
        return;
    case card::VersionReport:
        if (trusted && arg(1)) {
            lastVersionReport = *arg(1);
            onVersionReport(*arg(1));
        }
        return;
    case card::SetupData:
        if (trusted)
            onSetupData(packet);
        return;
    case card::FlashResult:
        if (trusted && arg(1))
            onFlashResult(*arg(1));
        return;
    default:
        return;
    }
}

// An AVM card's link moves to 1200 baud, which a port whose speed is fixed at the server (raw
// TCP) cannot follow. Nothing more is sent to the card than ends the connection cleanly: its
// application id was acknowledged, and the closing SYN resets its link.
bool CardLink::Impl::refuseFixedSpeed()
{
    const QString refusal = port.settingsRefusal(AvmSettings);
    if (refusal.isEmpty())
        return false;
    LinkFailure failure = failureOn(LinkFailure::LineSpeedFixed, port.commPort());
    failure.refusal = refusal;
    fail(failure);
    s.ticksSinceSerial = 0;
    endTransfer(EndReason::Completed);
    return true;
}

// ---------------------------------------------------------------- answers to the card

Task<void> CardLink::Impl::answerPacket(QByteArray payload)
{
    co_await sendPacket(std::move(payload));
}

Task<void> CardLink::Impl::answerLinkUpgrade()
{
    Q_EMIT q.stageReached(TransferStage::LinkSetUp);
    const bool answered = co_await sendPacket(hostpacket::LinkUpgraded);
    if (!answered)
        co_return;
    s.linkUpgraded = true;
    s.headerMode = true;
    s.checkMode = CheckMode::Bits16;
}

Task<void> CardLink::Impl::answerSerial(bool fromSerialNumber)
{
    const bool answered = co_await sendPacket(hostpacket::Serial);
    if (!answered)
        co_return;
    s.linkUp = true;
    if (fromSerialNumber)
        s.ticksSinceSerial = 1;
}

Task<void> CardLink::Impl::answerAppIdRequest()
{
    const ConnectionToken::Held token = link.token.take();
    const ConnectionToken::Held* held = &token; // (only plain values in lambdas inside co_await: GCC 12)
    // (co_await is kept out of conditions: GCC 12 miscompiles some of those.)
    const bool idSent = co_await sendPacket(hostpacket::AppId);
    if (!idSent || ConnectionToken::stale(token))
        co_return;
    const bool endSent = co_await sendPacket(hostpacket::AppIdEnd);
    if (!endSent || ConnectionToken::stale(token))
        co_return;
    // The identification wait: bounded by the same limit as the opening's own wait.
    co_await jobs.until([this, held] {
        return s.cardIdentified || !port.portOpen() || ConnectionToken::stale(*held) || s.ticksSinceSerial > 4;
    });
    if (!s.cardIdentified || !port.portOpen() || ConnectionToken::stale(token))
        co_return;
    if (s.cardKind == CardType::AVM) {
        const bool baudChangeSent = co_await sendPacket(hostpacket::BaudChange1200);
        if (!baudChangeSent)
            co_return;
        co_await jobs.until([this, held] { return s.ackReceived || ConnectionToken::stale(*held); });
        // What the host wrote at 9600 leaves at 9600.
        const auto sent = std::make_shared<bool>(false);
        port.whenSent([this, sent, token] {
            *sent = true;
            if (!ConnectionToken::stale(token)) // else the link (or its connection) is gone
                jobs.pump();
        });
        // (Only plain values in a lambda inside co_await: GCC 12 may destroy it twice.)
        const bool* sentFlag = sent.get();
        co_await jobs.until([sentFlag, held] { return *sentFlag || ConnectionToken::stale(*held); });
        if (!ConnectionToken::stale(token)) {
            port.setSettings(AvmSettings);
            link.tell([](LinkObserver& o) { o.speedChanged(1200); });
        }
    }
}

// ---------------------------------------------------------------- connection

Task<bool> CardLink::Impl::openConnection()
{
    trace.open();
    link.tell([](LinkObserver& o) { o.connectionOpened(); });
    const int selected = ports.selectedPort();
    if (!ports.isPortUsable(selected)) {
        LinkFailure failure = failureOn(LinkFailure::PortNotUsable, selected);
        failure.findings = ports.diagnosis();
        fail(failure);
        co_return false;
    }
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(selected);
    port.setSettings(OpeningSettings);
    Q_EMIT q.portOpening(selected);
    const ConnectionToken::Held token = link.token.take();
    bool opened = port.setPortOpen(true);
    if (opened && port.portOpening()) {
        // A port on a serial server: the connection and the line's settings are made in the
        // background. A Cancel or a new flow meanwhile ends the connection, and this with it.
        const ConnectionToken::Held* held = &token; // (only plain values in lambdas inside co_await: GCC 12)
        co_await jobs.until([this, held] { return !port.portOpening() || ConnectionToken::stale(*held); },
                            NetOpeningLimitMs);
        if (ConnectionToken::stale(token))
            co_return false;
        opened = port.portOpen() && !port.portOpening();
    }
    if (!opened) {
        LinkFailure failure = failureOn(LinkFailure::PortNotOpened, selected);
        failure.network = port.netFailure();
        if (port.portOpening()) { // past every limit of its own: given up here
            port.setPortOpen(false);
            failure.network = {NetFailure::Kind::NoAnswer, {}};
        }
        failure.portError = port.lastError();
        failure.findings = port.diagnose(selected);
        fail(failure);
    }
    portInUse = port.portOpen();
    transmitter.startConnection(port.roundTripMs());
    if (portInUse && port.roundTripMs() > CleanRoundTripMs)
        Q_EMIT q.roundTripAboveLimit(ports.deviceOf(selected), port.roundTripMs(), CleanRoundTripMs);
    keepAliveTimer->start(KeepAliveMs);
    receiver.startConnection();
    co_await establishLink();
    co_return s.cardIdentified && port.portOpen();
}

Task<void> CardLink::Impl::openPortJob()
{
    co_await openConnection();
}

Task<void> CardLink::Impl::establishLink()
{
    s.keepAliveCount = 0;
    keepAliveTimer->start(KeepAliveMs);
    s.ticksSinceSerial = 2;
    co_await jobs.until([this] { return s.cardIdentified || !port.portOpen() || s.ticksSinceSerial > 4; });
    if (!port.portOpen()) {
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        co_return;
    }
    if (!s.cardIdentified) {
        s.ticksSinceSerial = 0;
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        endTransfer(EndReason::CardNotIdentified);
        fail(failureOn(LinkFailure::CardNotIdentified, ports.selectedPort()));
    }
}

void CardLink::Impl::onKeepAliveTick()
{
    // A Get or Send ends with its connection here: what it waits for (an acknowledgement, the
    // card's set-up, an answer's acknowledgement above its own wait) would never come.
    if (!port.portOpen()) {
        fail(failureOn(LinkFailure::PortGone, port.commPort()));
        if (flow.active)
            endTransfer(EndReason::PortClosed);
        return; // the timer stays off
    }
    if (!s.linkUp) {
        LinkFailure failure = failureOn(LinkFailure::CardSilent, port.commPort());
        failure.bytesHeard = receiver.bytesThisConnection();
        failure.waitedMs = KeepAliveMs;
        fail(failure);
        port.setPortOpen(false);
        if (flow.active)
            endTransfer(EndReason::PortClosed);
        return;
    }
    keepAliveTimer->start(KeepAliveMs);
    ++s.keepAliveCount;
    ++s.ticksSinceSerial;
    Q_EMIT q.keepAliveTicked(s.ticksSinceSerial, s.keepAliveCount);
    // With a packet still unacknowledged the tick only counts: its own retransmission goes on,
    // and enough such ticks end the transfer.
    if (s.ackReceived)
        jobs.spawn(keepAlivePacket());
}

Task<void> CardLink::Impl::keepAlivePacket()
{
    const bool acknowledged = co_await sendPacket(hostpacket::Serial);
    if (acknowledged)
        s.keepAliveCount = 0;
}

// ---------------------------------------------------------------- public face

CardLink::CardLink(SerialControl& port, LinkClock& clock, PortSelection& ports, TraceFile& trace)
    : d(std::make_unique<Impl>(*this, port, clock, ports, trace))
{
}

CardLink::~CardLink()
{
    d->port.onComm = nullptr;
    d->port.onOutputDrained = nullptr;
    d->jobs.clear();
}

void CardLink::get()
{
    d->startFlow(FlowKind::Get);
    d->jobs.spawn(d->getFlow());
}

void CardLink::read()
{
    d->startFlow(FlowKind::Read);
    d->jobs.spawn(d->getFlow());
}

void CardLink::send(SendSource source)
{
    d->startFlow(FlowKind::Send);
    d->flow.source = std::move(source);
    d->jobs.spawn(d->sendFlow());
}

void CardLink::openPort() { d->jobs.spawn(d->openPortJob()); }

void CardLink::closePort()
{
    d->s.ticksSinceSerial = 0;
    d->keepAliveTimer->stop();
    d->stopRetransmissionTimer();
    d->endTransfer(EndReason::Completed);
    Q_EMIT closedByHand();
    d->jobs.pump();
}

void CardLink::cancel()
{
    d->port.discardOutput(); // what has not left yet (the rest of an image) stays here
    d->finishFlow(FlowOutcome::Cancelled, FlowEnd::Cancelled);
    d->endTransfer(EndReason::Cancelled);
    d->jobs.pump();
}

void CardLink::endTransfer(EndReason reason)
{
    d->endTransfer(reason);
    d->jobs.pump();
}

void CardLink::shutdown()
{
    d->keepAliveTimer->stop();
    d->stopRetransmissionTimer();
    d->transmitter.stopAcknowledgementPause();
    d->port.discardOutput();
    d->finishFlow(FlowOutcome::Failed, FlowEnd::ConnectionEnded);
    d->endTransfer(EndReason::Completed);
    d->jobs.clear();
}

void CardLink::addObserver(LinkObserver* observer) { d->link.observers.push_back(observer); }

const LinkState& CardLink::state() const { return d->s; }
bool CardLink::portOpen() const { return d->port.portOpen(); }
std::optional<FlowKind> CardLink::runningFlow() const
{
    return d->flow.active ? std::optional(d->flow.kind) : std::nullopt;
}
std::size_t CardLink::jobCount() const { return d->jobs.jobCount(); }

} // namespace quillon
