#include "cardlink.h"

#include "linkcontext.h"
#include "packetreceiver.h"
#include "packettransmitter.h"
#include "tracefile.h"

#include "../setup/numbers.h"
#include "../setup/setupimage.h"

namespace quillon {

namespace {

const QString DefaultSettings = QStringLiteral("9600,N,8,2");
const QString OpeningSettings = QStringLiteral("9600,n,8,2");
const QString AvmSettings = QStringLiteral("1200,n,8,2");

// Fixed payloads of the host.
const QByteArray HostSerialPacket = QByteArray::fromHex("02514c4e3031"); // 0x02, then "QLN01"
const QByteArray AppIdPacket = QByteArray::fromHex("044d45524c414e00000000"); // 0x04 "MERLAN" 0 0 0 0
const QByteArray AppIdEnd = QByteArray::fromHex("03");
const QByteArray GetRequest = QByteArray::fromHex("1500");
const QByteArray ReqCurSetup = QByteArray::fromHex("16");
const QByteArray BaudChange = QByteArray::fromHex("1904b0");

constexpr int KeepAliveMs = 5000;
constexpr int ButtonRestoreMs = 20000;
constexpr int VersionWaitMs = 3000;
constexpr int FlashReportWaitMs = 10000;

enum Command : quint8 {
    LinkSetup = 0, HostSerialRequest = 1, SerialNumber = 2, AppIdRequest = 3, AppId = 4,
    LinkCleared = 5, VersionReport = 23, SetupData = 24, FlashResult = 25,
};

} // namespace

// The connection: the dispatcher of the card's commands and the host's answers, the opening
// with its keep-alive, the Get and Send flows, and the end of a connection.
struct CardLink::Impl {
    Impl(CardLink& owner, SerialControl& port, LinkClock& clock, PortSelection& ports, HeldSetup& held,
         OperatorUi& ui, TraceFile& trace);

    CardLink& q;
    LinkContext link;
    PacketTransmitter transmitter;
    PacketReceiver receiver;
    SerialControl& port;
    PortSelection& ports;
    HeldSetup& held;
    OperatorUi& ui;
    TraceFile& trace;
    LinkState& s;
    JobRunner& jobs;
    std::unique_ptr<LinkTimer> keepAliveTimer, buttonRestoreTimer;
    std::optional<quint8> lastVersionReport; // the card's version, when the last packet was a report

    // The running Get or Send; a newer flow, a Cancel or shut-down supersedes it.
    struct Flow {
        FlowKind kind = FlowKind::Get;
        quint64 id = 0;
        bool active = false;
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

    // dispatcher
    void handleCommand(const QByteArray& packet, bool verified);
    Task<void> answerPacket(QByteArray payload);
    Task<void> answerLinkUpgrade();
    Task<void> answerSerial(bool fromSerialNumber);
    Task<void> answerAppIdRequest();
    void onVersionReport(quint8 cardVersion);
    void onSetupData(const QByteArray& packet);
    void onFlashResult(quint8 result);
    QString imageRefusal(const QByteArray& image) const;

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
    void finishFlow(FlowOutcome outcome);
    void endTransfer(EndReason reason);
    QString fileName() const { return q.currentFileName ? q.currentFileName() : QStringLiteral("Unsaved"); }
};

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
    if (port.portOpen()) {
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        port.output(QByteArray(1, static_cast<char>(SYN)));
        port.setPortOpen(false); // lets the SYN leave first
    }
    trace.int16(reasonCode(reason));
    trace.close();
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
    if (flow.active && flow.kind == FlowKind::Get)
        finishFlow(FlowOutcome::Failed);
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
    case LinkSetup: {
        const auto a = arg(1), b = arg(2);
        if (!a || !b || *a != *b)
            return;
        if (*a == 0 || *a == 1 || *a == 2 || *a == 4 || *a == 5)
            jobs.spawn(answerPacket(QByteArray(3, '\0')));
        else if (*a == 6 && !s.linkUpgraded)
            jobs.spawn(answerLinkUpgrade());
        return;
    }
    case HostSerialRequest:
        jobs.spawn(answerSerial(false));
        return;
    case SerialNumber:
        ui.status(2, QStringLiteral("Serial Number Received"));
        if (!s.linkUp)
            jobs.spawn(answerSerial(true));
        return;
    case AppIdRequest:
        jobs.spawn(answerAppIdRequest());
        return;
    case AppId:
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
        ui.progress(TransferStage::CardIdentified);
        return;
    case LinkCleared:
        s.linkUpgraded = false;
        return;
    case VersionReport:
        if (trusted && arg(1)) {
            lastVersionReport = *arg(1);
            onVersionReport(*arg(1));
        }
        return;
    case SetupData:
        if (trusted)
            onSetupData(packet);
        return;
    case FlashResult:
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
    ui.progress(TransferStage::LinkSetUp);
    const bool answered = co_await sendPacket(QByteArray::fromHex("000606"));
    if (!answered)
        co_return;
    s.linkUpgraded = true;
    s.headerMode = true;
    s.checkMode = CheckMode::Bits16;
}

Task<void> CardLink::Impl::answerSerial(bool fromSerialNumber)
{
    const bool answered = co_await sendPacket(HostSerialPacket);
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
    const bool idSent = co_await sendPacket(AppIdPacket);
    if (!idSent || link.generation != gen)
        co_return;
    const bool endSent = co_await sendPacket(AppIdEnd);
    if (!endSent || link.generation != gen)
        co_return;
    // The identification wait: bounded by the same limit as the opening's own wait.
    co_await jobs.until([this, gen] {
        return s.cardIdentified || !port.portOpen() || link.generation != gen || s.snCount > 4;
    });
    if (!s.cardIdentified || !port.portOpen() || link.generation != gen)
        co_return;
    if (held.connectedCardType == CardType::AVM) {
        const bool baudChangeSent = co_await sendPacket(BaudChange);
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
        if (link.generation == gen)
            port.setSettings(AvmSettings);
    }
}

// ---------------------------------------------------------------- connection

Task<bool> CardLink::Impl::openConnection()
{
    trace.open();
    s.sentCount = 0;
    s.receivedCount = 0;
    if (!ports.isPortUsable(ports.selectedPort())) {
        ui.message(QStringLiteral("Current com port selection is not valid"));
        co_return false;
    }
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(ports.selectedPort());
    port.setSettings(OpeningSettings);
    ui.status(3, QString()); // no card until one identifies itself on this connection
    if (!port.setPortOpen(true)) {
        const QString why = port.lastError();
        ui.message(why.isEmpty() ? QStringLiteral("Com%1 could not be opened.").arg(ports.selectedPort())
                                 : QStringLiteral("The serial port could not be opened: ") + why);
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
    if (!port.portOpen()) {
        ui.message(QStringLiteral("Port not functioning, please try another port #1"));
        return; // the timer stays off
    }
    if (!s.linkUp) {
        ui.message(QStringLiteral("Port not functioning, please try another port #2"));
        port.setPortOpen(false);
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
    const bool acknowledged = co_await sendPacket(HostSerialPacket);
    if (acknowledged)
        s.keepAliveCount = 0;
}

// The opening both flows share; false when the flow ends there.
Task<bool> CardLink::Impl::beginFlow(quint64 id)
{
    ui.transferButtonsEnabled(false);
    buttonRestoreTimer->start(ButtonRestoreMs);
    ui.showProgress();
    const quint64 gen = link.generation;
    const bool opened = co_await openConnection();
    if (!opened)
        endFailedOpening(id, gen);
    co_return opened && !superseded(id);
}

Task<void> CardLink::Impl::getFlow(quint64 id)
{
    const bool begun = co_await beginFlow(id);
    if (!begun)
        co_return;
    co_await sendPacket(GetRequest);
    // The transfer completes when the card sends its set-up.
}

Task<void> CardLink::Impl::sendFlow(quint64 id)
{
    const bool begun = co_await beginFlow(id);
    if (!begun)
        co_return;
    // Only this connection's report may let the image go.
    s.versionVerdict = false;
    trace.text("Sent ReqCurSetup Start");
    co_await sendPacket(ReqCurSetup);
    trace.text("Sent ReqCurSetup Stop");
    if (superseded(id))
        co_return;
    co_await jobs.until([this, id] { return s.versionVerdict || superseded(id); }, VersionWaitMs);
    if (superseded(id))
        co_return;
    if (!s.versionVerdict) {
        ui.message(QStringLiteral("Version Packet Not Verified"));
        finishFlow(FlowOutcome::Failed);
        co_return;
    }
    ui.status(2, QStringLiteral("Setup Version Correct"));
    if (!buildSetupImage(held, lastVersionReport, ui)) {
        endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        ui.message(QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
        co_return;
    }
    const quint64 gen = link.generation;
    const bool imageAcknowledged = co_await sendPacket(held.setupImage);
    if (superseded(id))
        co_return;
    if (imageAcknowledged && !flashResult && link.generation == gen) {
        // The card writes its flash after acknowledging the image, then reports; the
        // keep-alive goes on meanwhile.
        co_await jobs.until([this, id, gen] {
            return flashResult || link.generation != gen || superseded(id) || !port.portOpen();
        }, FlashReportWaitMs);
        if (superseded(id))
            co_return;
        if (!flashResult && link.generation == gen) {
            endTransfer(EndReason::Completed);
            ui.status(2, QStringLiteral("Card Setup Not Confirmed"));
            ui.message(QStringLiteral("The card did not confirm writing the set-up to its flash memory."));
            finishFlow(FlowOutcome::Failed);
            co_return;
        }
    }
    if (imageAcknowledged && flashResult == 0) {
        ui.progress(TransferStage::ImageTransferred);
        s.snCount = 0;
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        ui.transferButtonsEnabled(true);
        endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Sent"));
        ui.message(QStringLiteral("Card Setup Sent!"));
        finishFlow(FlowOutcome::Succeeded);
    } else {
        if (port.portOpen())
            endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
    }
}

void CardLink::Impl::onVersionReport(quint8 cardVersion)
{
    // Compared with the image about to be sent: a SID build is version 0, an AVM image is sent as held.
    const quint8 imageVersion = held.connectedCardType == CardType::AVM && held.setupImage.size() > 1
        ? byteAt(held.setupImage, 1) : 0;
    if (cardVersion >= imageVersion) {
        s.versionVerdict = true;
        return;
    }
    s.versionVerdict = false;
    endTransfer(EndReason::Completed);
    ui.message(QStringLiteral("Card Setup Newer than Card Firmware, Please Upgrade Card Firmware."));
    ui.status(2, QStringLiteral("Card Setup Failed"));
}

QString CardLink::Impl::imageRefusal(const QByteArray& image) const
{
    if (image.size() == SidImageSize && byteAt(image, 1) == 0)
        return sidImageRefusal(image);
    if (image.size() > SidImageSize && image.size() <= MaxImageSize && byteAt(image, 0) == SetupDataCommand
        && byteAt(image, 1) != 0)
        return {};
    return QStringLiteral("The card sent a set-up of %1 bytes with version %2, which is neither a SID nor an AVM set-up. Nothing was changed.")
        .arg(image.size())
        .arg(image.size() > 1 ? byteAt(image, 1) : 0);
}

void CardLink::Impl::onSetupData(const QByteArray& packet)
{
    // The image is the payload from the command byte on, without the two CRC bytes.
    const qsizetype start = s.headerMode ? 3 : 1;
    const qsizetype length = packet.size() - start - (s.checkMode == CheckMode::Bits16 ? 2 : 0);
    const QByteArray image = length > 0 ? packet.mid(start, length) : QByteArray();
    if (const QString why = imageRefusal(image); !why.isEmpty()) {
        endTransfer(EndReason::Completed);
        ui.message(why);
        if (flow.active && flow.kind == FlowKind::Get)
            finishFlow(FlowOutcome::Failed);
        return;
    }
    const QByteArray previousImage = held.setupImage;
    const CardType previousKind = held.loadedCardType;
    held.setupImage = image;
    held.loadedCardType = image.size() > SidImageSize ? CardType::AVM : CardType::SID;
    if (!applySetupImage(held, ui)) {
        held.setupImage = previousImage;
        held.loadedCardType = previousKind;
        endTransfer(EndReason::Completed);
        return;
    }
    ui.progress(TransferStage::ImageTransferred);
    s.snCount = 0;
    keepAliveTimer->stop();
    stopRetransmissionTimer();
    ui.transferButtonsEnabled(true);
    const bool wasGet = flow.active && flow.kind == FlowKind::Get;
    if (wasGet)
        finishFlow(FlowOutcome::Succeeded);
    endTransfer(EndReason::Completed);
    ui.status(2, QStringLiteral("Process Complete"));
    ui.message(QStringLiteral("Card Setup Retrieved"));
}

void CardLink::Impl::onFlashResult(quint8 result)
{
    flashResult = result;
    ui.progress(TransferStage::FlashResult);
    keepAliveTimer->stop();
    ui.hideProgress();
    endTransfer(EndReason::FlashResultReported);
    const QString name = fileName();
    switch (result) {
    case 0: ui.message(name + QStringLiteral(" Transferred.")); break;
    case 1: ui.message(QStringLiteral("Hardware Memory Error. Error 01.")); break;
    case 2: ui.message(QStringLiteral("Error writing ") + name + QStringLiteral(" to flash. Error 02.")); break;
    case 3: ui.message(QStringLiteral("Error Closing ") + name + QStringLiteral(" Error 03.")); break;
    default: break;
    }
    ui.focusMainWindow();
}

// ---------------------------------------------------------------- flows

// The card never identified itself: the flow ends here, and a connection that is not ended yet ends
// as the flow's first send would have ended it, finding the port closed.
void CardLink::Impl::endFailedOpening(quint64 id, quint64 generationAtOpening)
{
    if (superseded(id))
        return;
    if (link.generation == generationAtOpening)
        endTransfer(EndReason::PortClosed);
    finishFlow(FlowOutcome::Failed);
}

quint64 CardLink::Impl::startFlow(FlowKind kind)
{
    if (flow.active)
        finishFlow(FlowOutcome::Failed);
    // A second press ends the running connection first; so does an open port, or a packet of
    // an ended connection that still counts as outstanding. A fresh start ends nothing.
    if (s.cardIdentified)
        endTransfer(EndReason::Completed);
    if (port.portOpen() || (!s.ackReceived && !s.savedPacket.isEmpty()))
        endTransfer(EndReason::Completed);
    jobs.clear();
    flow = Flow{kind, ++flowCounter, true};
    flashResult.reset();
    return flow.id;
}

void CardLink::Impl::finishFlow(FlowOutcome outcome)
{
    if (!flow.active)
        return;
    flow.active = false;
    if (q.onFlowFinished)
        q.onFlowFinished(flow.kind, outcome);
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
    d->finishFlow(FlowOutcome::Failed);
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
    d->finishFlow(FlowOutcome::Failed);
    d->endTransfer(EndReason::Completed);
    d->jobs.clear();
}

const LinkState& CardLink::state() const { return d->s; }
bool CardLink::portOpen() const { return d->port.portOpen(); }
bool CardLink::flowRunning() const { return d->flow.active; }
std::size_t CardLink::jobCount() const { return d->jobs.jobCount(); }

} // namespace quillon
