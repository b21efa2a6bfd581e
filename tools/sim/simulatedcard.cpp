// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulatedcard.h"

#include "setup/setupimage.h"

#include <cmath>
#include <optional>

namespace quillon::sim {

namespace {

// The card's own words and frame codec, written apart from the host's so that each checks the other.
constexpr quint8 STX = 0x02;
constexpr quint8 ETX = 0x03;
constexpr quint8 AckByte = 0x06;
constexpr quint8 DLE = 0x10;
constexpr quint8 SYN = 0x16;
constexpr quint8 DataControl = 0xC2;
constexpr quint8 AckControl = 0x42;
constexpr quint8 NackControl = 0x82;
constexpr int DefaultBaud = 9600;

// Commands the card understands and sends.
constexpr quint8 CmdLinkSetup = 0x00;
constexpr quint8 CmdSerialNumber = 0x02;
constexpr quint8 CmdAppIdRequest = 0x03;
constexpr quint8 CmdAppId = 0x04;
constexpr quint8 CmdGet = 0x15;
constexpr quint8 CmdReqCurSetup = 0x16;
constexpr quint8 CmdVersionReport = 0x17;
constexpr quint8 CmdSetupData = 24;
constexpr quint8 CmdBaudChange = 0x19;  // host to card
constexpr quint8 CmdFlashResult = 0x19; // card to host

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

} // namespace

// Bit by bit: from 0xFFFF, each byte shifted in at the low end, polynomial 0x1021 taken off as bits
// leave at the top.
quint16 cardCrc(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = crc & 0x8000;
            crc = static_cast<quint16>((crc << 1) | ((static_cast<quint8>(c) >> bit) & 1));
            if (top)
                crc ^= 0x1021;
        }
    }
    return crc;
}

namespace {

QByteArray stuffed(const QByteArray& bytes)
{
    static const QByteArray reserved = bytesOf({0x02, 0x03, 0x06, 0x0A, 0x0D, 0x10, 0x16, 0x18});
    QByteArray out;
    for (char c : bytes) {
        if (reserved.contains(c))
            out += bytesOf({DLE, static_cast<quint8>(c) ^ 0xA0});
        else
            out += c;
    }
    return out;
}

// A frame's bytes between STX and ETX back as its packet, check included; nothing when it ends in DLE.
std::optional<QByteArray> unstuffed(const QByteArray& raw)
{
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (static_cast<quint8>(raw[i]) != DLE) {
            out += raw[i];
        } else if (++i < raw.size()) {
            out += static_cast<char>(static_cast<quint8>(raw[i]) ^ 0xA0);
        } else {
            return std::nullopt;
        }
    }
    return out;
}

bool crcGood(const QByteArray& packet)
{
    const quint16 sent = static_cast<quint16>(static_cast<quint8>(packet[packet.size() - 2]) << 8 | static_cast<quint8>(packet.back()));
    return cardCrc(packet.first(packet.size() - 2)) == sent;
}

QByteArray withCrc(const QByteArray& covered, quint16 spoil = 0)
{
    const quint16 crc = cardCrc(covered) ^ spoil;
    return stuffed(bytesOf({crc >> 8, crc & 0xFF}));
}

// A data frame in 16-bit header form; corrupt spoils its CRC.
QByteArray dataFrame(quint8 echo, quint8 own, const QByteArray& payload, bool corrupt)
{
    const QByteArray body = bytesOf({echo, own}) + payload;
    return bytesOf({STX, DataControl}) + stuffed(body) + withCrc(bytesOf({DataControl}) + body, corrupt ? 0x0101 : 0)
        + bytesOf({ETX});
}

// An acknowledgement's sequence byte and zero go out as they are; only its check is stuffed.
QByteArray acknowledgement(quint8 control, quint8 seq)
{
    return bytesOf({STX, control, seq, 0}) + withCrc(bytesOf({control, seq, 0})) + bytesOf({ETX});
}

QString hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

} // namespace

QString phaseName(CardPhase phase)
{
    switch (phase) {
    case CardPhase::Stopped: return QStringLiteral("stopped");
    case CardPhase::Syncing: return QStringLiteral("syncing");
    case CardPhase::LinkSetup: return QStringLiteral("link set-up");
    case CardPhase::SerialNumber: return QStringLiteral("serial number");
    case CardPhase::AppId: return QStringLiteral("application id");
    case CardPhase::Ready: return QStringLiteral("ready");
    }
    return {};
}

QByteArray defaultCardImage(CardKind kind)
{
    if (kind == CardKind::Sid)
        return encodeSidImage(defaultSetupValues()).image;
    QByteArray image(120, '\0');
    image[0] = static_cast<char>(CmdSetupData);
    image[1] = 1;
    for (int i = 2; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 37 + 11) & 0xFF); // every reserved byte appears
    return image;
}

QByteArray storedDifferently(const QByteArray& image)
{
    constexpr int LevelByte = 3;
    constexpr int LevelItems = 25;
    QByteArray stored = image;
    if (image.size() == SidImageSize)
        stored[LevelByte] = static_cast<char>((static_cast<quint8>(image.at(LevelByte)) + 1) % LevelItems);
    else if (image.size() > 2)
        stored[image.size() - 1] = static_cast<char>(~image.at(image.size() - 1));
    return stored;
}

SimulatedCard::SimulatedCard(LinkClock& clock, CardOptions options)
    : clock_(clock), options_(std::move(options)), faults_(options_.faults),
      image_(options_.image.isEmpty() ? defaultCardImage(options_.kind) : options_.image),
      syncTimer_(clock.createTimer()), retransmitTimer_(clock.createTimer()),
      watchdog_(clock.createTimer()), paceTimer_(clock.createTimer()), delayTimer_(clock.createTimer()),
      flashTimer_(clock.createTimer())
{
    syncTimer_->onTimeout = [this] { syncTick(); };
    retransmitTimer_->onTimeout = [this] { retransmitTimeout(); };
    watchdog_->onTimeout = [this] {
        log(QStringLiteral("no answer from the host: starting over"));
        resetLink();
    };
    paceTimer_->onTimeout = [this] { pace(); };
    delayTimer_->onTimeout = [this] { runDelayed(); };
    flashTimer_->onTimeout = [this] { queueData(bytesOf({CmdFlashResult, options_.flashResult})); };
}

SimulatedCard::~SimulatedCard() = default;

void SimulatedCard::start()
{
    faultsArmed_ = options_.faultsFromStart;
    synPending_ = options_.synAfterIdentification;
    if (options_.silent) {
        phase_ = CardPhase::Stopped;
        return;
    }
    resetLink();
    syncTimer_->start(0);
}

void SimulatedCard::stop()
{
    for (auto* timer : {syncTimer_.get(), retransmitTimer_.get(), watchdog_.get(), paceTimer_.get(),
                        delayTimer_.get(), flashTimer_.get()})
        timer->stop();
    lineQueue_.clear();
    delayed_.clear();
    phase_ = CardPhase::Stopped;
}

void SimulatedCard::resetLink()
{
    retransmitTimer_->stop();
    watchdog_->stop();
    delayTimer_->stop();
    flashTimer_->stop();
    delayed_.clear();
    outbox_.clear();
    outstanding_.clear();
    inFrame_ = false;
    frame_.clear();
    hostSeqKnown_ = false;
    lastHostSeq_ = 0;
    ownSeq_ = 0;
    setBaud(DefaultBaud);
    phase_ = CardPhase::Syncing;
    syncTimer_->start(options_.synIntervalMs);
}

void SimulatedCard::syncTick()
{
    if (phase_ != CardPhase::Syncing)
        return;
    if (onSyncAttempt)
        onSyncAttempt();
    if (options_.unknownDevice)
        transmit(QByteArrayLiteral("OK\r"));
    else
        transmit(QByteArray(1, static_cast<char>(SYN)));
    syncTimer_->start(options_.synIntervalMs);
}

void SimulatedCard::receive(const QByteArray& bytes)
{
    if (options_.silent || phase_ == CardPhase::Stopped)
        return;
    for (char c : bytes)
        byteIn(static_cast<quint8>(c));
}

void SimulatedCard::byteIn(quint8 byte)
{
    if (phase_ == CardPhase::Stopped)
        return;
    switch (byte) {
    case SYN:
        log(QStringLiteral("<- SYN: starting over"));
        notice(QStringLiteral("SYN from the host at %1 baud").arg(baud_));
        resetLink();
        return;
    case AckByte:
        // The host's answer to our SYN; ignored anywhere else.
        if (phase_ == CardPhase::Syncing && !inFrame_ && !options_.unknownDevice) {
            syncTimer_->stop();
            phase_ = CardPhase::LinkSetup;
            log(QStringLiteral("<- 06: sending LinkSetup"));
            transmit(dataFrame(0, 0, bytesOf({CmdLinkSetup, 6, 6}), false));
            watchdog_->start(options_.linkSetupTimeoutMs);
        }
        return;
    case STX:
        inFrame_ = true;
        frame_.clear();
        return;
    case ETX:
        if (inFrame_) {
            inFrame_ = false;
            frameIn(frame_);
        }
        return;
    default:
        if (inFrame_)
            frame_.append(static_cast<char>(byte));
        return;
    }
}

void SimulatedCard::frameIn(const QByteArray& raw)
{
    if (phase_ == CardPhase::Syncing)
        return;
    const auto packet = unstuffed(raw);
    if (!packet || packet->size() < 5)
        return;
    const auto control = static_cast<quint8>(packet->at(0));
    const auto echo = static_cast<quint8>(packet->at(1));
    if (!crcGood(*packet)) {
        log(QStringLiteral("<- bad CRC: ") + hex(*packet));
        if (control == DataControl)
            sendNack(static_cast<quint8>(packet->at(2)));
        return;
    }
    if (phase_ != CardPhase::LinkSetup)
        watchdog_->start(options_.idleResetMs);

    switch (control) {
    case AckControl:
        if (!outstanding_.isEmpty() && echo == ownSeq_)
            outstandingAcknowledged();
        return;
    case NackControl:
        if (!outstanding_.isEmpty() && echo == ownSeq_) {
            log(QStringLiteral("<- NACK"));
            retransmitTimeout();
        }
        return;
    case DataControl:
        if (packet->size() >= 6)
            hostData(*packet, false);
        return;
    default:
        return;
    }
}

void SimulatedCard::hostData(const QByteArray& packet, bool delayed)
{
    const auto echo = static_cast<quint8>(packet.at(1));
    const auto seq = static_cast<quint8>(packet.at(2));
    const QByteArray payload = packet.mid(3, packet.size() - 5);

    // A host data packet that echoes our outstanding packet's bit has seen it.
    if (!outstanding_.isEmpty() && echo == ownSeq_)
        outstandingAcknowledged();

    if (faultsArmed() && !delayed) {
        if (faults_.nackNext > 0) {
            --faults_.nackNext;
            log(QStringLiteral("<- refused with NACK: ") + hex(payload));
            sendNack(seq);
            return;
        }
        if (faults_.ignoreNext > 0) {
            --faults_.ignoreNext;
            log(QStringLiteral("<- ignored: ") + hex(payload));
            return;
        }
        if (faults_.ackDelayMs > 0) {
            delayed_.append({clock_.nowMs() + faults_.ackDelayMs, packet});
            if (!delayTimer_->isActive())
                delayTimer_->start(faults_.ackDelayMs);
            return;
        }
    }

    const bool repeat = hostSeqKnown_ && seq == lastHostSeq_;
    const bool dropAck = faultsArmed() && faults_.dropAcks > 0;
    if (dropAck)
        --faults_.dropAcks;
    if (repeat) {
        // Our acknowledgement was lost: acknowledge again, act only once.
        if (!dropAck)
            sendAck(seq);
        return;
    }
    lastHostSeq_ = seq;
    hostSeqKnown_ = true;
    received_.append(payload);
    log(QStringLiteral("<- data: ") + hex(payload));

    // A card that writes its flash at once acknowledges the image with the flash result.
    const bool implicitAck = phase_ == CardPhase::Ready && payload.at(0) == char(CmdSetupData)
        && options_.implicitAck && !synPending_;
    if (!dropAck && !implicitAck)
        sendAck(seq);
    act(payload);
}

void SimulatedCard::act(const QByteArray& payload)
{
    const auto command = static_cast<quint8>(payload.at(0));
    switch (phase_) {
    case CardPhase::LinkSetup:
        if (payload == bytesOf({CmdLinkSetup, 6, 6})) {
            phase_ = CardPhase::SerialNumber;
            watchdog_->start(options_.idleResetMs);
            queueData(QByteArray(1, static_cast<char>(CmdSerialNumber)) + options_.serialNumber.left(5));
        }
        return;
    case CardPhase::SerialNumber:
        if (command == CmdSerialNumber && !options_.neverIdentify) {
            phase_ = CardPhase::AppId;
            queueData(QByteArray(1, static_cast<char>(CmdAppIdRequest)));
        }
        return;
    case CardPhase::AppId:
        if (payload == QByteArray(1, static_cast<char>(CmdAppIdRequest))) {
            phase_ = CardPhase::Ready;
            QByteArray appId = QByteArrayLiteral("\x04KX40");
            appId.append(options_.kind == CardKind::Avm ? 'A' : 'S');
            appId.append(QByteArray(11 - appId.size(), '\0'));
            queueData(appId);
        }
        return;
    case CardPhase::Ready:
        serve(payload);
        return;
    case CardPhase::Stopped:
    case CardPhase::Syncing:
        return;
    }
}

void SimulatedCard::serve(const QByteArray& payload)
{
    const auto command = static_cast<quint8>(payload.at(0));
    const bool request = command == CmdGet || command == CmdReqCurSetup || command == CmdSetupData;
    if (request && synPending_) {
        synPending_ = false;
        sendSynAndRestart();
        return;
    }
    switch (command) {
    case CmdBaudChange:
        if (payload.size() >= 3) {
            const int baud = (static_cast<quint8>(payload.at(1)) << 8) | static_cast<quint8>(payload.at(2));
            // The acknowledgement leaves at the old speed.
            transmit({}, [this, baud] { setBaud(baud); });
        }
        return;
    case CmdGet:
        queueData(image_);
        return;
    case CmdReqCurSetup: {
        // The version tells the host the card's kind: 0 for a SID card.
        const int ownImageVersion = image_.size() > 1 ? static_cast<quint8>(image_.at(1)) : 0;
        const int version = options_.version >= 0 ? options_.version
            : options_.kind == CardKind::Sid     ? 0
                                                 : std::max(1, ownImageVersion);
        queueData(bytesOf({CmdVersionReport, version & 0xFF}));
        return;
    }
    case CmdSetupData:
        image_ = options_.storeDifferently ? storedDifferently(payload) : payload;
        log(QStringLiteral("image received, %1 bytes").arg(payload.size()));
        if (onImageReceived)
            onImageReceived(payload);
        if (options_.implicitAck || options_.flashMs <= 0)
            queueData(bytesOf({CmdFlashResult, options_.flashResult}));
        else
            startFlashWrite();
        return;
    default:
        return; // keep-alive and the rest: the acknowledgement is all
    }
}

void SimulatedCard::startFlashWrite()
{
    flashTimer_->start(options_.flashMs);
    if (onPause) // the acknowledgement of the image goes out meanwhile
        onPause(options_.flashMs - 7 * 11000.0 / baud_);
}

void SimulatedCard::queueData(const QByteArray& payload)
{
    outbox_.append(payload);
    if (outstanding_.isEmpty())
        sendNext();
}

void SimulatedCard::sendNext()
{
    if (outbox_.isEmpty() || !outstanding_.isEmpty())
        return;
    outstanding_ = outbox_.takeFirst();
    ownSeq_ ^= 1;
    retries_ = 0;
    transmitOutstanding();
}

void SimulatedCard::transmitOutstanding()
{
    bool corrupt = false;
    if (faultsArmed() && faults_.corruptCrcNext > 0) {
        --faults_.corruptCrcNext;
        corrupt = true;
    }
    const QByteArray frame = dataFrame(lastHostSeq_, ownSeq_, outstanding_, corrupt);
    log(QStringLiteral("-> data%1: ").arg(corrupt ? QStringLiteral(" (bad CRC)") : QString()) + hex(outstanding_));
    transmit(frame);
    // Allow for the frame and the acknowledgement to cross the line.
    retransmitTimer_->start(options_.retransmitMs + lineTimeMs(frame.size() + 7));
}

void SimulatedCard::outstandingAcknowledged()
{
    retransmitTimer_->stop();
    const bool wasAppId = outstanding_.at(0) == char(CmdAppId);
    if (outstanding_.at(0) == char(CmdFlashResult))
        notice(QStringLiteral("flash report acknowledged"));
    outstanding_.clear();
    if (wasAppId) {
        ++identifications_;
        faultsArmed_ = true;
        log(QStringLiteral("identified as %1").arg(options_.kind == CardKind::Avm ? "AVM" : "SID"));
        if (onIdentified)
            onIdentified();
    }
    sendNext();
}

void SimulatedCard::retransmitTimeout()
{
    if (outstanding_.isEmpty())
        return;
    if (retries_ >= options_.maxRetransmits) {
        log(QStringLiteral("no acknowledgement: starting over"));
        resetLink();
        return;
    }
    ++retries_;
    ++retransmissions_;
    notice(QStringLiteral("no acknowledgement from the host in time: frame sent again"));
    transmitOutstanding();
}

void SimulatedCard::sendAck(quint8 seq)
{
    transmit(acknowledgement(AckControl, seq & 1));
}

void SimulatedCard::sendNack(quint8 seq)
{
    ++nacksSent_;
    transmit(acknowledgement(NackControl, seq & 1));
}

void SimulatedCard::sendSynAndRestart()
{
    log(QStringLiteral("-> SYN in the middle of the transfer"));
    resetLink();
    transmit(QByteArray(1, static_cast<char>(SYN)));
}

void SimulatedCard::setBaud(int baud)
{
    if (baud <= 0 || baud == baud_)
        return;
    baud_ = baud;
    log(QStringLiteral("line speed %1 baud").arg(baud));
    if (onBaudChanged)
        onBaudChanged(baud);
}

void SimulatedCard::transmit(const QByteArray& bytes, std::function<void()> afterSent)
{
    if (!options_.paceAtLineRate) {
        if (!bytes.isEmpty() && onSend)
            onSend(bytes);
        if (afterSent)
            afterSent();
        return;
    }
    if (lineQueue_.isEmpty())
        nextByteDueMs_ = std::max<double>(nextByteDueMs_, static_cast<double>(clock_.nowMs()));
    lineQueue_.append({bytes, std::move(afterSent)});
    if (!paceTimer_->isActive())
        pace();
}

void SimulatedCard::pace()
{
    const double byteMs = 11000.0 / baud_;
    while (!lineQueue_.isEmpty()) {
        Chunk& chunk = lineQueue_.first();
        if (!chunk.bytes.isEmpty()) {
            const double due = nextByteDueMs_ + byteMs;
            if (due > static_cast<double>(clock_.nowMs())) {
                paceTimer_->start(static_cast<int>(std::ceil(due - clock_.nowMs())));
                return;
            }
            nextByteDueMs_ = due;
            if (onSend)
                onSend(chunk.bytes.left(1));
            chunk.bytes.remove(0, 1);
            if (!chunk.bytes.isEmpty())
                continue;
        }
        auto afterSent = std::move(chunk.afterSent);
        lineQueue_.removeFirst();
        if (afterSent)
            afterSent();
    }
}

void SimulatedCard::runDelayed()
{
    const qint64 now = clock_.nowMs();
    while (!delayed_.isEmpty() && delayed_.first().first <= now) {
        const QByteArray packet = delayed_.takeFirst().second;
        hostData(packet, true);
    }
    if (!delayed_.isEmpty())
        delayTimer_->start(static_cast<int>(delayed_.first().first - now));
}

int SimulatedCard::lineTimeMs(qsizetype bytes) const
{
    return static_cast<int>(std::ceil(bytes * 11000.0 / baud_));
}

void SimulatedCard::notice(const QString& line)
{
    log(line);
    if (onNotice)
        onNotice(line);
}

void SimulatedCard::log(const QString& line)
{
    if (onLog)
        onLog(line);
}

} // namespace quillon::sim
