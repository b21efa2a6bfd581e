#include "cardlink.h"

#include "cardlinkimpl.h"
#include "linkobserver.h"
#include "tracefile.h"

#include "../setup/numbers.h"
#include "../setup/setupimage.h"

namespace quillon {

using namespace cardlinkdetail;

CardLink::Impl::Impl(CardLink& owner, SerialControl& port_, LinkClock& clock_, PortSelection& ports_,
                     HeldSetup& held_, OperatorUi& ui_, TraceFile& trace_)
    : q(owner), link(port_, clock_, ui_, trace_), transmitter(link, clock_), receiver(link, transmitter),
      port(port_), ports(ports_), held(held_), ui(ui_), trace(trace_), s(link.s), jobs(link.jobs),
      keepAliveTimer(clock_.createTimer()), buttonRestoreTimer(clock_.createTimer())
{
    link.endTransfer = [this](EndReason reason) { endTransfer(reason); };
    transmitter.onRetransmissionFailed = [this] { failRetransmission(); };
    receiver.onPacket = [this](const QByteArray& packet, bool verified) { handleCommand(packet, verified); };
    keepAliveTimer->onTimeout = [this] { onKeepAliveTick(); jobs.pump(); };
    buttonRestoreTimer->onTimeout = [this] { ui.transferButtonsEnabled(true); };
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
    ui.hideProgress();
    endTransfer(EndReason::RetransmissionFailed);
    s.keepAliveCount = 0;
    ui.message(QStringLiteral("Error in communications, Retransmission failed."));
}

// The device went away under a running Get or Send (unplugged, its driver gone): the transfer
// fails at once and says so, instead of ending silently at its next send. An open port without
// a transfer is reported by the keep-alive tick.
void CardLink::Impl::portVanished()
{
    portInUse = false;
    if (!flow.active)
        return;
    const QString why = port.lastError();
    endTransfer(EndReason::PortClosed);
    finishFlow(FlowOutcome::Failed);
    ui.message(why.isEmpty()
                   ? QStringLiteral("The serial port closed during the transfer. Please check the connection to the card.")
                   : QStringLiteral("The serial port closed during the transfer (%1). Please check the connection to "
                                    "the card.").arg(why));
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
    ui.transferButtonsEnabled(true);
    ui.hideProgress();
    stopRetransmissionTimer();
    keepAliveTimer->stop();
    s.headerMode = false;
    s.ownSeq = 1;
    s.sending = false;
    s.linkUpgraded = false;
    s.snCount = 0;
    s.linkUp = false;
    s.cardIdentified = false;
    s.ackReceived = true;
    s.checkMode = CheckMode::None;
    ui.status(2, QStringLiteral("Port Closed") + statusNumber(reasonCode(reason)));
    port.setSettings(DefaultSettings);
    ++link.generation;
    if (flow.active && flow.kind != FlowKind::Send)
        finishFlow(reason == EndReason::Cancelled ? FlowOutcome::Cancelled : FlowOutcome::Failed);
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
        ui.status(2, QStringLiteral("Serial Number Received"));
        s.cardSerial = verified && p.size() > 5 ? p.mid(1, 5) : QByteArray(); // names its backups
        if (!s.linkUp)
            jobs.spawn(answerSerial(true));
        return;
    case card::AppIdRequest:
        jobs.spawn(answerAppIdRequest());
        return;
    case card::AppId:
        if (packet.size() > 8) {
            if (byteAt(packet, 8) == 'A') {
                held.connectedCardType = CardType::AVM;
                ui.status(3, QStringLiteral("AVM Card Detected"));
            } else if (byteAt(packet, 8) == 'S') {
                held.connectedCardType = CardType::SID;
                ui.status(3, QStringLiteral("SID Card Detected"));
            }
        }
        s.cardIdentified = true;
        progress(TransferStage::CardIdentified);
        return;
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

// ---------------------------------------------------------------- answers to the card

Task<void> CardLink::Impl::answerPacket(QByteArray payload)
{
    co_await sendPacket(std::move(payload));
}

Task<void> CardLink::Impl::answerLinkUpgrade()
{
    progress(TransferStage::LinkSetUp);
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
        s.snCount = 1;
}

Task<void> CardLink::Impl::answerAppIdRequest()
{
    const quint64 gen = link.generation;
    // (co_await is kept out of conditions: GCC 12 miscompiles some of those.)
    const bool idSent = co_await sendPacket(hostpacket::AppId);
    if (!idSent || link.generation != gen)
        co_return;
    const bool endSent = co_await sendPacket(hostpacket::AppIdEnd);
    if (!endSent || link.generation != gen)
        co_return;
    // The identification wait: bounded by the same limit as the opening's own wait.
    co_await jobs.until([this, gen] {
        return s.cardIdentified || !port.portOpen() || link.generation != gen || s.snCount > 4;
    });
    if (!s.cardIdentified || !port.portOpen() || link.generation != gen)
        co_return;
    if (held.connectedCardType == CardType::AVM) {
        const bool baudChangeSent = co_await sendPacket(hostpacket::BaudChange1200);
        if (!baudChangeSent)
            co_return;
        co_await jobs.until([this, gen] { return s.ackReceived || link.generation != gen; });
        // What the host wrote at 9600 leaves at 9600.
        const auto sent = std::make_shared<bool>(false);
        port.whenSent([this, sent, alive = std::weak_ptr<int>(lifetime)] {
            *sent = true;
            if (!alive.expired())
                jobs.pump();
        });
        // (Only plain values in a lambda inside co_await: GCC 12 may destroy it twice.)
        const bool* sentFlag = sent.get();
        co_await jobs.until([this, gen, sentFlag] { return *sentFlag || link.generation != gen; });
        if (link.generation == gen) {
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
    s.receivedCount = 0;
    if (!ports.isPortUsable(ports.selectedPort())) {
        ui.messageWithDetails(QStringLiteral("Current com port selection is not valid"), ports.diagnosis());
        co_return false;
    }
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(ports.selectedPort());
    port.setSettings(OpeningSettings);
    ui.status(3, QString()); // no card until one identifies itself on this connection
    if (!port.setPortOpen(true)) {
        const QString why = port.lastError();
        ui.messageWithDetails(why.isEmpty() ? QStringLiteral("Com%1 could not be opened.").arg(ports.selectedPort())
                                            : QStringLiteral("The serial port could not be opened: ") + why,
                              port.diagnose(ports.selectedPort()));
    }
    portInUse = port.portOpen();
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
    s.snCount = 2;
    co_await jobs.until([this] { return s.cardIdentified || !port.portOpen() || s.snCount > 4; });
    if (!port.portOpen()) {
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        co_return;
    }
    if (!s.cardIdentified) {
        s.snCount = 0;
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        endTransfer(EndReason::CardNotIdentified);
        ui.message(QStringLiteral("Error establishing communications, Please check connections"));
    }
}

void CardLink::Impl::onKeepAliveTick()
{
    // A Get or Send ends with its connection here: what it waits for (an acknowledgement, the
    // card's set-up, an answer's acknowledgement above its own wait) would never come.
    if (!port.portOpen()) {
        ui.message(QStringLiteral("Port not functioning, please try another port #1"));
        if (flow.active)
            endTransfer(EndReason::PortClosed);
        return; // the timer stays off
    }
    if (!s.linkUp) {
        ui.message(QStringLiteral("Port not functioning, please try another port #2"));
        port.setPortOpen(false);
        if (flow.active)
            endTransfer(EndReason::PortClosed);
        return;
    }
    keepAliveTimer->start(KeepAliveMs);
    ++s.keepAliveCount;
    ++s.snCount;
    ui.status(2, QStringLiteral("SN Count ") + QString::number(s.snCount) + QLatin1Char(' ')
                     + statusNumber(s.keepAliveCount));
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

CardLink::CardLink(SerialControl& port, LinkClock& clock, PortSelection& ports, HeldSetup& held, OperatorUi& ui,
                   TraceFile& trace)
    : d(std::make_unique<Impl>(*this, port, clock, ports, held, ui, trace))
{
}

CardLink::~CardLink()
{
    d->port.onComm = nullptr;
    d->port.onOutputDrained = nullptr;
    d->jobs.clear();
}

void CardLink::getConfiguration()
{
    const quint64 id = d->startFlow(FlowKind::Get);
    d->jobs.spawn(d->getFlow(id));
}

void CardLink::readCard()
{
    const quint64 id = d->startFlow(FlowKind::Read);
    d->jobs.spawn(d->getFlow(id));
}

void CardLink::sendConfiguration()
{
    const quint64 id = d->startFlow(FlowKind::Send);
    d->jobs.spawn(d->sendFlow(id));
}

void CardLink::openPort() { d->jobs.spawn(d->openPortJob()); }

void CardLink::closePort()
{
    d->s.snCount = 0;
    d->keepAliveTimer->stop();
    d->stopRetransmissionTimer();
    d->endTransfer(EndReason::Completed);
    d->ui.message(QStringLiteral("Port Closed"));
    d->jobs.pump();
}

void CardLink::cancel()
{
    d->port.discardOutput(); // what has not left yet (the rest of an image) stays here
    d->finishFlow(FlowOutcome::Cancelled);
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
    d->buttonRestoreTimer->stop();
    d->port.discardOutput();
    d->finishFlow(FlowOutcome::Failed);
    d->endTransfer(EndReason::Completed);
    d->jobs.clear();
}

void CardLink::setObserver(LinkObserver* observer) { d->link.observer = observer; }

const LinkState& CardLink::state() const { return d->s; }
bool CardLink::portOpen() const { return d->port.portOpen(); }
bool CardLink::flowRunning() const { return d->flow.active; }
std::size_t CardLink::jobCount() const { return d->jobs.jobCount(); }

} // namespace quillon
