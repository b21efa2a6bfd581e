#include "cardlink.h"

#include "jobs.h"
#include "tracefile.h"

#include "../setup/numbers.h"
#include "../setup/setupimage.h"

#include <cmath>

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

constexpr int RetranIntervalMs = 100;
constexpr int AckPauseMs = 50;
constexpr int KeepAliveMs = 5000;
constexpr int SendRecMs = 20000;
constexpr int VersionWaitMs = 3000;
constexpr int DrainLimitMs = 2000;
// One raw frame at most: a fully stuffed 1 KiB image and its framing.
constexpr int MaxRawFrame = 2 * 1024 + 16;

enum Command : quint8 {
    LinkSetup = 0, HostSerialRequest = 1, SerialNumber = 2, AppIdRequest = 3, AppId = 4,
    LinkCleared = 5, VersionReport = 23, SetupData = 24, FlashResult = 25,
};

quint8 byteAt(const QByteArray& bytes, qsizetype i) { return static_cast<quint8>(bytes.at(i)); }

} // namespace

struct CardLink::Impl {
    Impl(CardLink& owner, SerialControl& port, LinkClock& clock, PortSelection& ports, HeldSetup& held,
         OperatorUi& ui, TraceFile& trace);

    CardLink& q;
    SerialControl& port;
    LinkClock& clock;
    PortSelection& ports;
    HeldSetup& held;
    OperatorUi& ui;
    TraceFile& trace;

    LinkState s;
    JobRunner jobs;
    std::unique_ptr<LinkTimer> retranTimer, ackPause, timeComCon, tSendRec;
    std::unique_ptr<LinkTimer> drainLimit; // bounds the wait for the output to leave
    bool retranAwaitsDrain = false;

    // Every EndTransfer starts a new generation: waits of the ended connection see it.
    quint64 generation = 0;
    // Every SYN resets the link: an answer still waiting for its acknowledgement then has nothing
    // left to answer.
    quint64 linkEpoch = 0;
    // Data packets in header mode are numbered; a sender waits until its number is acknowledged.
    quint64 lastTicket = 0;
    quint64 ackedTicket = 0;
    int outstandingFrameBytes = 0;
    QByteArray previousFrame;
    bool discardingFrame = false; // the frame now arriving is longer than any frame can be
    std::optional<quint8> lastVersionReport; // the card's version, when the last packet was a report

    // The running Get or Send; a newer flow, a Cancel or shut-down supersedes it.
    struct Flow {
        FlowKind kind = FlowKind::Get;
        quint64 id = 0;
        bool active = false;
    } flow;
    quint64 flowCounter = 0;
    std::optional<quint8> flashResult;

    // transmitter
    Task<bool> sendPacket(QByteArray payload);
    void transmit(const QByteArray& payload, PacketKind kind);
    void writeFrame(const QByteArray& payload, PacketKind kind);
    void armRetranTimer();
    void startRetranTimer();
    void stopRetranTimer();
    void onRetranTimeout();
    void acknowledgeOutstanding();
    void resendSavedPacket();
    void failRetransmission();
    bool acked(quint64 ticket) const { return ackedTicket >= ticket; }

    // receiver
    void onComm(int event);
    void receiveBytes();
    bool receiveByte(quint8 byte); // false: stop this reading pass
    void traceIncomingFrame();
    void processFrame(const QByteArray& raw);
    void dispatchPacket(const QByteArray& packet, bool verified);
    void classifyControl(quint8 control);
    void handleCommand(const QByteArray& packet, bool verified);
    void resetOnSyn();

    // connection
    Task<bool> openConnection(); // true when the card identified itself
    Task<void> openPortJob();
    Task<void> establishLink();
    Task<void> answerPacket(QByteArray payload);
    Task<void> answerLinkUpgrade();
    Task<void> answerSerial(bool fromSerialNumber);
    Task<void> answerAppIdRequest();
    Task<void> keepAlivePacket();
    Task<bool> beginFlow(quint64 id);
    Task<void> getFlow(quint64 id);
    Task<void> sendFlow(quint64 id);
    void onKeepAliveTick();
    void onVersionReport(quint8 cardVersion);
    void onSetupData(const QByteArray& packet);
    void onFlashResult(quint8 result);
    QString imageRefusal(const QByteArray& image) const;

    // flows
    quint64 startFlow(FlowKind kind);
    void endFailedOpening(quint64 id, quint64 generationAtOpening);
    bool superseded(quint64 id) const { return !flow.active || flow.id != id; }
    void finishFlow(FlowOutcome outcome);
    void endTransfer(int reason);
    int lineTimeMs(int bytes) const;
    QString fileName() const { return q.currentFileName ? q.currentFileName() : QStringLiteral("Unsaved"); }
};

CardLink::Impl::Impl(CardLink& owner, SerialControl& port_, LinkClock& clock_, PortSelection& ports_,
                     HeldSetup& held_, OperatorUi& ui_, TraceFile& trace_)
    : q(owner), port(port_), clock(clock_), ports(ports_), held(held_), ui(ui_), trace(trace_), jobs(clock_),
      retranTimer(clock_.createTimer()), ackPause(clock_.createTimer()), timeComCon(clock_.createTimer()),
      tSendRec(clock_.createTimer()), drainLimit(clock_.createTimer())
{
    retranTimer->onTimeout = [this] { onRetranTimeout(); jobs.pump(); };
    ackPause->onTimeout = [this] { jobs.pump(); };
    timeComCon->onTimeout = [this] { onKeepAliveTick(); jobs.pump(); };
    tSendRec->onTimeout = [this] { ui.transferButtonsEnabled(true); };
    port.onComm = [this](int event) { onComm(event); jobs.pump(); };
    drainLimit->onTimeout = [this] { startRetranTimer(); jobs.pump(); };
    port.onOutputDrained = [this] {
        if (retranAwaitsDrain)
            startRetranTimer();
        jobs.pump();
    };
}

// ---------------------------------------------------------------- transmitter

int CardLink::Impl::lineTimeMs(int bytes) const
{
    const int baud = std::max(1, baudOfSettings(port.settings()));
    return static_cast<int>(std::ceil(bytes * 11 * 1000.0 / baud));
}

// Sends one Data packet. In header mode it returns once the packet is acknowledged (true) or the
// connection ended first (false); retransmission runs on the acknowledgement timer meanwhile.
Task<bool> CardLink::Impl::sendPacket(QByteArray payload)
{
    const quint64 gen = generation;
    const quint64 epoch = linkEpoch;
    if (!port.portOpen()) {
        endTransfer(10);
        co_return false;
    }
    if (s.cardIdentified) {
        // 50 ms after an acknowledgement the host sent, and one data packet outstanding at a time.
        co_await jobs.until([this] { return !ackPause->isActive() || !s.cardIdentified; });
        if (!s.cardIdentified)
            ackPause->stop();
        co_await jobs.until([this, gen] { return s.ackReceived || generation != gen; });
        if (generation != gen)
            co_return false;
        if (!port.portOpen()) {
            endTransfer(10);
            co_return false;
        }
    }
    transmit(payload, PacketKind::Data);
    if (!s.headerMode)
        co_return true;
    const quint64 ticket = lastTicket;
    co_await jobs.until([this, ticket, gen, epoch] { return acked(ticket) || generation != gen || linkEpoch != epoch; });
    co_return acked(ticket); // a reset of the link releases the wait without acknowledging
}

void CardLink::Impl::transmit(const QByteArray& payload, PacketKind kind)
{
    const bool dataKind = kind == PacketKind::Data || kind == PacketKind::Resend;
    if (s.headerMode && dataKind) {
        if (s.ackReceived)
            s.ownSeq ^= 1; // a resend of an unacknowledged packet keeps its sequence bit
        if (kind == PacketKind::Data) {
            s.retryCount = 0;
            s.savedPacket = payload;
        }
    }
    writeFrame(payload, kind);
    if (!s.headerMode || !dataKind) {
        if (!s.inFrame)
            s.frameBuffer.clear();
        return;
    }
    if (kind == PacketKind::Data)
        ++lastTicket;
    s.ackReceived = false;
    s.nackReceived = false;
    armRetranTimer();
}

void CardLink::Impl::writeFrame(const QByteArray& payload, PacketKind kind)
{
    const bool ackKind = kind == PacketKind::Ack || kind == PacketKind::Nack;
    const quint8 answeredSeq = s.peerSeq;
    if (ackKind && s.peerSeq > 1)
        s.peerSeq = 0;
    s.sending = true;
    const FrameParts parts = buildFrameParts(s.checkMode, s.headerMode, kind, s.peerSeq, s.ownSeq, payload);

    trace.text("Start Out");
    trace.int16(2);
    trace.byte(parts.control);
    if (ackKind) {
        if (answeredSeq > 1) { // a sequence bit that was not a bit
            for (int letter : {'W', 'r', 'o', 'n', 'g'})
                trace.hex(letter);
            trace.hex(answeredSeq);
        }
        trace.byte(s.peerSeq);
        trace.int16(0);
    } else {
        trace.bytes(parts.body);
    }
    if (s.checkMode == CheckMode::Bits16)
        trace.bytes(parts.check);
    trace.int16(3);
    trace.text("Stop Out");

    const QByteArray frame = parts.frame();
    port.output(frame);
    outstandingFrameBytes = static_cast<int>(frame.size());
    ++s.sentCount;
    s.sending = false;
}

// The acknowledgement wait starts once the frame has left the host: when the system has taken
// it, plus its time on the line at the current speed.
void CardLink::Impl::armRetranTimer()
{
    stopRetranTimer();
    if (port.outBufferCount() == 0) {
        startRetranTimer();
        return;
    }
    retranAwaitsDrain = true;
    drainLimit->start(DrainLimitMs + lineTimeMs(outstandingFrameBytes));
}

void CardLink::Impl::startRetranTimer()
{
    retranAwaitsDrain = false;
    drainLimit->stop();
    retranTimer->start(RetranIntervalMs + lineTimeMs(outstandingFrameBytes));
}

void CardLink::Impl::stopRetranTimer()
{
    retranAwaitsDrain = false;
    drainLimit->stop();
    retranTimer->stop();
}

void CardLink::Impl::onRetranTimeout()
{
    if (s.ackReceived) {
        acknowledgeOutstanding();
        return;
    }
    if (s.retryCount > 5 || s.keepAliveCount > 9) {
        failRetransmission();
        return;
    }
    trace.int16(78);
    trace.int16(s.retryCount);
    trace.int16(78);
    ui.status(2, QStringLiteral("Resend ") + statusNumber(s.retryCount));
    resendSavedPacket();
}

void CardLink::Impl::resendSavedPacket()
{
    if (!port.portOpen()) {
        endTransfer(10); // the device went away under the packet
        return;
    }
    transmit(s.savedPacket, PacketKind::Resend);
}

void CardLink::Impl::acknowledgeOutstanding()
{
    s.ackReceived = true;
    ackedTicket = lastTicket;
    stopRetranTimer();
}

void CardLink::Impl::failRetransmission()
{
    timeComCon->stop();
    ui.hideProgress();
    endTransfer(2);
    s.keepAliveCount = 0;
    ui.message(QStringLiteral("Error in communications, Retransmission failed."));
}

// ---------------------------------------------------------------- end of a connection

void CardLink::Impl::endTransfer(int reason)
{
    if (port.portOpen()) {
        timeComCon->stop();
        stopRetranTimer();
        port.output(QByteArray(1, static_cast<char>(SYN)));
        port.setPortOpen(false); // lets the SYN leave first
    }
    trace.int16(reason);
    trace.close();
    ui.transferButtonsEnabled(true);
    ui.hideProgress();
    stopRetranTimer();
    timeComCon->stop();
    s.headerMode = false;
    s.ownSeq = 1;
    s.sending = false;
    s.linkUpgraded = false;
    s.snCount = 0;
    s.linkUp = false;
    s.cardIdentified = false;
    s.ackReceived = true;
    s.checkMode = CheckMode::None;
    ui.status(2, QStringLiteral("Port Closed") + statusNumber(reason));
    port.setSettings(DefaultSettings);
    ++generation;
    if (flow.active && flow.kind == FlowKind::Get)
        finishFlow(FlowOutcome::Failed);
}

// ---------------------------------------------------------------- receiver

void CardLink::Impl::onComm(int event)
{
    if (event == SerialControl::DataReceived) {
        receiveBytes();
    } else if (event == SerialControl::WriteTimeout) {
        endTransfer(9);
        ui.message(QStringLiteral("CTS Timeout Transfer aborted"));
    }
}

void CardLink::Impl::receiveBytes()
{
    while (port.portOpen() && port.inBufferCount() > 0) {
        const QByteArray chunk = port.input(4096);
        if (chunk.isEmpty())
            return;
        for (char c : chunk) {
            if (!receiveByte(static_cast<quint8>(c)) || !port.portOpen())
                return;
        }
    }
}

bool CardLink::Impl::receiveByte(quint8 byte)
{
    switch (byte) {
    case STX:
        if (s.frameBuffer.size() > 1) {
            trace.text("Start In");
            trace.bytes(s.frameBuffer);
        }
        s.frameBuffer.clear();
        s.inFrame = true;
        discardingFrame = false;
        return true;
    case ETX: {
        ++s.receivedCount;
        s.inFrame = false;
        if (std::exchange(discardingFrame, false))
            return true;
        traceIncomingFrame();
        // Taken out first: a lone ETX later must not process this frame a second time.
        const QByteArray frame = std::exchange(s.frameBuffer, {});
        processFrame(frame);
        return true;
    }
    case AckByte:
        return true;
    case SYN:
        trace.int16(82);
        trace.int16(port.outBufferCount());
        trace.int16(82);
        if (s.cardIdentified) {
            endTransfer(4);
            return false;
        }
        port.output(QByteArray(1, static_cast<char>(AckByte)));
        trace.int16(83);
        trace.int16(6);
        ++s.receivedCount;
        resetOnSyn();
        return true;
    default:
        break;
    }
    if (s.inFrame) {
        if (discardingFrame)
            return true;
        if (s.frameBuffer.size() >= MaxRawFrame) {
            // Longer than any frame can be: the rest of it is dropped up to its end.
            s.frameBuffer.clear();
            discardingFrame = true;
            return true;
        }
        s.frameBuffer.append(static_cast<char>(byte));
        return true;
    }
    if (++s.strayCount >= 3) {
        s.strayCount = 0;
        if (sameSettings(port.settings(), DefaultSettings)) {
            endTransfer(5);
            ui.message(QStringLiteral("Unknown Device, Check Communications"));
            return false;
        }
        port.setSettings(OpeningSettings); // back to the opening speed after a change to 1200 baud
    }
    return true;
}

void CardLink::Impl::resetOnSyn()
{
    ++linkEpoch;
    s.headerMode = false;
    s.ownSeq = 1;
    s.sending = false;
    s.versionVerdict = false;
    s.linkUpgraded = false;
    s.linkUp = false;
    s.cardIdentified = false;
    s.ackReceived = true; // nothing is outstanding on a reset link
    stopRetranTimer();
    s.checkMode = CheckMode::None;
    s.strayCount = 0;
}

void CardLink::Impl::traceIncomingFrame()
{
    const QByteArray& frame = s.frameBuffer;
    if (!s.cardIdentified)
        trace.int16(119);
    else if (frame.size() != previousFrame.size())
        trace.int16(120);
    else if (!frame.isEmpty() && (byteAt(frame, 0) == 0x42 || byteAt(frame, 0) == 0x82))
        trace.text("Stop In");
    else
        trace.int16(121);
    trace.bytes(frame);
    previousFrame = frame;
}

void CardLink::Impl::processFrame(const QByteArray& raw)
{
    if (raw.size() <= 1)
        return;
    const std::optional<QByteArray> unstuffed = unstuff(raw);
    if (!unstuffed)
        return; // ends in DLE
    const QByteArray& packet = *unstuffed;
    if (s.checkMode != CheckMode::Bits16) {
        dispatchPacket(packet, false);
        return;
    }
    const quint8 control = byteAt(packet, 0);
    const bool crcGood = crcMatches(packet);
    if (s.headerMode) {
        if (control == 0xC4) {
            dispatchPacket(packet, false);
            return;
        }
        if (control == 0xC2 && packet.size() > 2)
            s.peerSeq = byteAt(packet, 2);
        if (s.linkUp && control == 0xC2 && packet.size() > 1) {
            if (byteAt(packet, 1) != s.ownSeq)
                return; // not for the packet we have outstanding: the card will send it again
            // A data packet from the card acknowledges ours; only a good one counts.
            if (!s.ackReceived && crcGood) {
                acknowledgeOutstanding();
                s.nackReceived = false;
                s.retryCount = 0;
            }
        }
    }
    const int seqByte = packet.size() > 2 ? byteAt(packet, 2) : -1;
    if (!crcGood) {
        if (seqByte == s.lastPeerSeq)
            return; // a repeat of a packet already accepted
        transmit(QByteArray(1, '\0'), PacketKind::Nack);
        ackPause->start(AckPauseMs);
        return;
    }
    const int answered = packet.size() > 1 ? byteAt(packet, 1) : -1;
    if (control == 0x42) {
        if (answered == s.ownSeq && !s.ackReceived) {
            trace.text("Ack In");
            acknowledgeOutstanding();
            s.nackReceived = false;
            s.retryCount = 0;
        }
        return;
    }
    if (control == 0x82) {
        if (answered == s.ownSeq) {
            trace.text("Nack In");
            if (s.retryCount > 5) {
                // A card that refuses every retransmission must not keep us resending forever.
                failRetransmission();
                return;
            }
            ++s.retryCount;
            s.nackReceived = true;
            s.ackReceived = false;
            resendSavedPacket();
        }
        return;
    }
    transmit(QByteArray(1, '\0'), PacketKind::Ack);
    s.lastPeerSeq = seqByte;
    ackPause->start(AckPauseMs);
    dispatchPacket(packet, true);
}

void CardLink::Impl::dispatchPacket(const QByteArray& packet, bool verified)
{
    classifyControl(byteAt(packet, 0));
    if (packet.size() > 1)
        handleCommand(packet, verified);
}

void CardLink::Impl::classifyControl(quint8 control)
{
    if (const auto modes = modesFromControl(control)) {
        s.checkMode = modes->check;
        s.headerMode = modes->header;
        s.dataSeen = true;
    }
    ui.diagnosticLabel(0, checkModeText(s.checkMode));
    ui.diagnosticLabel(1, s.headerMode ? QStringLiteral("True") : QStringLiteral("False"));
    ui.diagnosticLabel(2, s.dataSeen ? QStringLiteral("Data") : QString());
}

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
                held.ConnectedCardType = CardType::AVM;
                ui.status(3, QStringLiteral("AVM Card Detected"));
            } else if (byteAt(packet, 8) == 'S') {
                held.ConnectedCardType = CardType::SID;
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
    const quint64 gen = generation;
    // (co_await is kept out of conditions: GCC 12 miscompiles some of those.)
    const bool idSent = co_await sendPacket(AppIdPacket);
    if (!idSent || generation != gen)
        co_return;
    const bool endSent = co_await sendPacket(AppIdEnd);
    if (!endSent || generation != gen)
        co_return;
    // The identification wait: bounded by the same limit as the opening's own wait.
    co_await jobs.until([this, gen] {
        return s.cardIdentified || !port.portOpen() || generation != gen || s.snCount > 4;
    });
    if (!s.cardIdentified || !port.portOpen() || generation != gen)
        co_return;
    if (held.ConnectedCardType == CardType::AVM) {
        const bool baudChangeSent = co_await sendPacket(BaudChange);
        if (!baudChangeSent)
            co_return;
        co_await jobs.until([this, gen] { return s.ackReceived || generation != gen; });
        if (generation == gen)
            port.setSettings(AvmSettings);
    }
}

// ---------------------------------------------------------------- connection

Task<bool> CardLink::Impl::openConnection()
{
    trace.open();
    s.sentCount = 0;
    s.receivedCount = 0;
    if (!ports.IsPortUsable(ports.SelectedPort())) {
        ui.message(QStringLiteral("Current com port selection is not valid"));
        co_return false;
    }
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(ports.SelectedPort());
    port.setSettings(OpeningSettings);
    if (!port.setPortOpen(true)) {
        const QString why = port.lastError();
        ui.message(why.isEmpty() ? QStringLiteral("Com%1 could not be opened.").arg(ports.SelectedPort())
                                 : QStringLiteral("The serial port could not be opened: ") + why);
    }
    timeComCon->start(KeepAliveMs);
    previousFrame.clear();
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
    timeComCon->start(KeepAliveMs);
    s.snCount = 2;
    co_await jobs.until([this] { return s.cardIdentified || !port.portOpen() || s.snCount > 4; });
    if (!port.portOpen()) {
        timeComCon->stop();
        stopRetranTimer();
        co_return;
    }
    if (!s.cardIdentified) {
        s.snCount = 0;
        timeComCon->stop();
        stopRetranTimer();
        endTransfer(6);
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
            endTransfer(10);
        return; // the timer stays off
    }
    if (!s.linkUp) {
        ui.message(QStringLiteral("Port not functioning, please try another port #2"));
        port.setPortOpen(false);
        if (flow.active)
            endTransfer(10);
        return;
    }
    timeComCon->start(KeepAliveMs);
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
    tSendRec->start(SendRecMs);
    ui.showProgress();
    const quint64 gen = generation;
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
    if (!BuildSetupImage(held, lastVersionReport, ui)) {
        endTransfer(7);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        ui.message(QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
        co_return;
    }
    const bool imageAcknowledged = co_await sendPacket(held.SetupImage);
    if (superseded(id))
        co_return;
    if (imageAcknowledged && flashResult.value_or(0) == 0) {
        ui.progress(TransferStage::ImageTransferred);
        s.snCount = 0;
        timeComCon->stop();
        stopRetranTimer();
        ui.transferButtonsEnabled(true);
        endTransfer(7);
        ui.status(2, QStringLiteral("Card Setup Sent"));
        ui.message(QStringLiteral("Card Setup Sent!"));
        finishFlow(FlowOutcome::Succeeded);
    } else {
        if (port.portOpen())
            endTransfer(7);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
    }
}

void CardLink::Impl::onVersionReport(quint8 cardVersion)
{
    // Compared with the image about to be sent: a SID build is version 0, an AVM image is sent as held.
    const quint8 imageVersion = held.ConnectedCardType == CardType::AVM && held.SetupImage.size() > 1
        ? byteAt(held.SetupImage, 1) : 0;
    if (cardVersion >= imageVersion) {
        s.versionVerdict = true;
        return;
    }
    s.versionVerdict = false;
    endTransfer(7);
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
        .arg(QString::number(image.size()), QString::number(image.size() > 1 ? byteAt(image, 1) : 0));
}

void CardLink::Impl::onSetupData(const QByteArray& packet)
{
    // The image is the payload from the command byte on, without the two CRC bytes.
    const qsizetype start = s.headerMode ? 3 : 1;
    const qsizetype length = packet.size() - start - (s.checkMode == CheckMode::Bits16 ? 2 : 0);
    const QByteArray image = length > 0 ? packet.mid(start, length) : QByteArray();
    if (const QString why = imageRefusal(image); !why.isEmpty()) {
        endTransfer(7);
        ui.message(why);
        if (flow.active && flow.kind == FlowKind::Get)
            finishFlow(FlowOutcome::Failed);
        return;
    }
    const QByteArray previousImage = held.SetupImage;
    const CardType previousKind = held.LoadedCardType;
    held.SetupImage = image;
    held.LoadedCardType = image.size() > SidImageSize ? CardType::AVM : CardType::SID;
    if (!ApplySetupImage(held, ui)) {
        held.SetupImage = previousImage;
        held.LoadedCardType = previousKind;
        endTransfer(7);
        return;
    }
    ui.progress(TransferStage::ImageTransferred);
    s.snCount = 0;
    timeComCon->stop();
    stopRetranTimer();
    ui.transferButtonsEnabled(true);
    const bool wasGet = flow.active && flow.kind == FlowKind::Get;
    if (wasGet)
        finishFlow(FlowOutcome::Succeeded);
    endTransfer(7);
    ui.status(2, QStringLiteral("Process Complete"));
    ui.message(QStringLiteral("Card Setup Retrieved"));
}

void CardLink::Impl::onFlashResult(quint8 result)
{
    flashResult = result;
    ui.progress(TransferStage::FlashResult);
    timeComCon->stop();
    ui.hideProgress();
    endTransfer(1);
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
    if (generation == generationAtOpening)
        endTransfer(10);
    finishFlow(FlowOutcome::Failed);
}

quint64 CardLink::Impl::startFlow(FlowKind kind)
{
    if (flow.active)
        finishFlow(FlowOutcome::Failed);
    // A second press ends the running connection first.
    if (s.cardIdentified)
        endTransfer(7);
    if (port.portOpen() || !s.ackReceived)
        endTransfer(7);
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

void CardLink::GetConfiguration()
{
    const quint64 id = d->startFlow(FlowKind::Get);
    d->jobs.spawn(d->getFlow(id));
}

void CardLink::SendConfiguration()
{
    const quint64 id = d->startFlow(FlowKind::Send);
    d->jobs.spawn(d->sendFlow(id));
}

void CardLink::OpenPort() { d->jobs.spawn(d->openPortJob()); }

void CardLink::ClosePort()
{
    d->s.snCount = 0;
    d->timeComCon->stop();
    d->stopRetranTimer();
    d->endTransfer(7);
    d->ui.message(QStringLiteral("Port Closed"));
    d->jobs.pump();
}

void CardLink::Cancel()
{
    d->finishFlow(FlowOutcome::Failed);
    d->endTransfer(8);
    d->jobs.pump();
}

void CardLink::EndTransfer(int reason)
{
    d->endTransfer(reason);
    d->jobs.pump();
}

void CardLink::Shutdown()
{
    d->timeComCon->stop();
    d->stopRetranTimer();
    d->ackPause->stop();
    d->tSendRec->stop();
    d->finishFlow(FlowOutcome::Failed);
    d->endTransfer(7);
    d->jobs.clear();
}

const LinkState& CardLink::state() const { return d->s; }
bool CardLink::portOpen() const { return d->port.portOpen(); }
bool CardLink::flowRunning() const { return d->flow.active; }
std::size_t CardLink::jobCount() const { return d->jobs.jobCount(); }

} // namespace quillon
