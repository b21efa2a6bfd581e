// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A capture fake of the serial control on virtual time, a recorder of what the link tells, and
// the card's side of the frames, for driving the link engine by hand.

#include "link/cardlink.h"
#include "link/framecodec.h"
#include "link/tracefile.h"
#include "support/virtualclock.h"
#include "setup/setupimage.h"

#include <QMap>
#include <QStringList>
#include <set>

namespace linktest {

using namespace quillon;

class FakeSerial : public SerialControl {
public:
    explicit FakeSerial(VirtualClock& clock) : clock_(clock) {}

    void setCommPort(int port) override { port_ = port; }
    int commPort() const override { return port_; }
    void setSettings(const QString& settings) override { settings_ = settings; }
    QString settings() const override { return settings_; }
    bool setPortOpen(bool open) override
    {
        if (open && !openable.count(port_))
            return false;
        open_ = open;
        opening_ = open && opensInBackground;
        ++(open ? opens : closes);
        if (!open) {
            in_.clear();
            held.clear();
        }
        if (open)
            network = {};
        return true;
    }
    bool portOpen() const override { return open_; }
    bool portOpening() const override { return open_ && opening_; }
    QString settingsRefusal(const QString& settings) const override
    {
        return baudOfSettings(settings) == 9600 ? QString() : speedRefusal;
    }
    double roundTripMs() const override { return roundTrip; }
    NetFailure netFailure() const override { return network; }
    QString lastError() const override { return network ? QStringLiteral("server said no") : QString(); }
    QString diagnose(int) const override { return network ? QStringLiteral("next step") : QString(); }

    // A port on a serial server whose opening is under way ends it, well or with this failure.
    void finishOpening(NetFailure failure = {})
    {
        clock_.post(0, [this, failure] {
            if (!opening_)
                return;
            opening_ = false;
            network = failure;
            open_ = !failure;
            if (open_)
                written += std::exchange(held, {});
            else
                held.clear();
            if (onComm)
                onComm(OpeningEnded);
        });
        clock_.runDue();
    }
    // The connection to the server is lost.
    void drop(NetFailure failure)
    {
        network = failure;
        unplug();
    }
    int inBufferCount() const override { return static_cast<int>(in_.size()); }
    int outBufferCount() const override { return pendingOut; }
    QByteArray input(int maxBytes) override
    {
        const QByteArray taken = in_.left(maxBytes);
        in_.remove(0, taken.size());
        return taken;
    }
    void output(const QByteArray& bytes) override
    {
        if (opening_)
            held += bytes; // sent once the line is ready
        else if (open_)
            written += bytes;
    }

    // Bytes from the card arrive as one receive event, later on the clock.
    void deliver(const QByteArray& bytes)
    {
        clock_.post(0, [this, bytes] {
            if (!open_ || opening_)
                return;
            in_ += bytes;
            if (onComm)
                onComm(DataReceived);
        });
        clock_.runDue();
    }
    // The device went away: the port is closed under the program.
    void unplug()
    {
        clock_.post(0, [this] {
            open_ = false;
            if (onComm)
                onComm(DataReceived);
        });
        clock_.runDue();
    }
    // At once, unless the test holds the line busy.
    void whenSent(std::function<void()> done) override
    {
        if (lineBusy)
            heldSent.push_back(std::move(done));
        else
            clock_.post(0, std::move(done));
    }
    void lineIdle()
    {
        lineBusy = false;
        for (auto& done : std::exchange(heldSent, {}))
            clock_.post(0, std::move(done));
        clock_.runDue();
    }
    QByteArray takeWritten() { return std::exchange(written, {}); }

    std::set<int> openable{1};
    QByteArray written;
    int pendingOut = 0;
    bool lineBusy = false;
    std::vector<std::function<void()>> heldSent;
    int opens = 0;
    int closes = 0;
    // A port on a serial server: it opens in the background, may refuse a speed, and has a
    // round trip; a failure is a NetFailure.
    bool opensInBackground = false;
    QString speedRefusal;
    double roundTrip = 0;
    NetFailure network;
    QByteArray held;

private:
    VirtualClock& clock_;
    int port_ = 0;
    bool open_ = false;
    bool opening_ = false;
    QString settings_ = QStringLiteral("9600,N,8,2");
    QByteArray in_;
};

// Everything the link tells, as values and as one readable line each, in order.
struct LinkEvents {
    explicit LinkEvents(CardLink& link)
    {
        QObject::connect(&link, &CardLink::flowStarted, [this] { buttonsEnabled = false; });
        QObject::connect(&link, &CardLink::stageReached, [this](TransferStage s) { log << QStringLiteral("stage %1").arg(int(s)); });
        QObject::connect(&link, &CardLink::cardIdentified, [this](const CardIdentity& c) { identified = c; });
        QObject::connect(&link, &CardLink::framing, [this](CheckMode check, bool header, bool data) {
            framing = {check, header};
            dataSeen = data;
        });
        QObject::connect(&link, &CardLink::keepAliveTicked, [this](int ticks, int unanswered) {
            log << QStringLiteral("keep-alive %1 %2").arg(ticks).arg(unanswered);
        });
        QObject::connect(&link, &CardLink::retransmitting, [this](int retries) { log << QStringLiteral("resend %1").arg(retries); });
        QObject::connect(&link, &CardLink::versionAccepted, [this] { log << "version accepted"; });
        QObject::connect(&link, &CardLink::imageReceived, [this](const QByteArray& image, const QByteArray&) { images << image; });
        QObject::connect(&link, &CardLink::flashReported, [this](quint8 result) { flashResults << result; });
        QObject::connect(&link, &CardLink::connectionEnded, [this](EndReason reason) {
            ends << reason;
            buttonsEnabled = true;
        });
        QObject::connect(&link, &CardLink::failed, [this](const LinkFailure& f) { failures << f.kind; failure = f; });
        QObject::connect(&link, &CardLink::flowEnded, [this](const FlowResult& r) { flows << r; });
        QObject::connect(&link, &CardLink::closedByHand, [this] { log << "closed by hand"; });
    }
    std::optional<EndReason> lastEnd() const { return ends.isEmpty() ? std::nullopt : std::optional(ends.last()); }
    // How each flow ended: (kind, outcome, end).
    QList<std::tuple<FlowKind, FlowOutcome, FlowEnd>> outcomes() const
    {
        QList<std::tuple<FlowKind, FlowOutcome, FlowEnd>> out;
        for (const FlowResult& r : flows)
            out << std::tuple(r.kind, r.outcome, r.end);
        return out;
    }

    QStringList log;
    QList<LinkFailure::Kind> failures;
    LinkFailure failure{LinkFailure::PortGone}; // the last
    QList<EndReason> ends;
    QList<FlowResult> flows;
    QList<QByteArray> images;
    QList<quint8> flashResults;
    std::optional<CardIdentity> identified;
    FrameModes framing;
    bool dataSeen = false;
    bool buttonsEnabled = true;
};

// The card's side of the protocol, in 16-bit header form.
struct Card {
    quint8 ownSeq = 0;

    // A new data packet from the card, answering the host's sequence bit hostSeq.
    QByteArray data(quint8 hostSeq, const QByteArray& payload)
    {
        ownSeq ^= 1;
        return buildFrame(CheckMode::Bits16, true, PacketKind::Data, hostSeq, ownSeq, payload);
    }
    static QByteArray ack(quint8 hostSeq) { return buildFrame(CheckMode::Bits16, true, PacketKind::Ack, hostSeq, 0, {}); }
    static QByteArray nack(quint8 hostSeq) { return buildFrame(CheckMode::Bits16, true, PacketKind::Nack, hostSeq, 0, {}); }
    // The link set-up request, as a reset link reads it.
    static QByteArray linkSetup() { return buildFrame(CheckMode::Bits16, true, PacketKind::Data, 0, 0, QByteArray::fromHex("000606")); }
};

// The frames in a stretch of host output, each unstuffed (control byte first, STX/ETX dropped);
// a lone byte outside frames (SYN, 0x06) comes as a one-byte entry of its own.
inline QList<QByteArray> splitFrames(const QByteArray& bytes)
{
    QList<QByteArray> out;
    QByteArray current;
    bool inFrame = false;
    for (char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (b == STX) {
            inFrame = true;
            current.clear();
        } else if (b == ETX && inFrame) {
            out << unstuff(current).value_or(QByteArray());
            inFrame = false;
        } else if (inFrame) {
            current.append(c);
        } else {
            out << QByteArray(1, c);
        }
    }
    return out;
}

// The payload of an unstuffed 16-bit header data packet.
inline QByteArray payloadOf(const QByteArray& packet) { return packet.mid(3, packet.size() - 5); }

// Port 1, usable unless a test says otherwise.
struct TestPorts : PortSelection {
    int selected = 1;
    bool usable = true;
    int selectedPort() const override { return selected; }
    bool isPortUsable(int port) const override { return usable && port == selected; }
};

struct Harness {
    VirtualClock clock;
    FakeSerial port{clock};
    TestPorts ports;
    TraceFile trace;
    CardLink link{port, clock, ports, trace};
    LinkEvents events{link};
    Card card;
    // What a Send sends: this image, compared with the card's version as this set-up version;
    // nothing when refused. The card's version it was asked with.
    QByteArray toSend = encodeSidImage(defaultSetupValues()).image;
    quint8 setupVersion = 0;
    bool refuse = false;
    std::optional<std::optional<quint8>> askedWith;

    void send()
    {
        link.send({[this] { return setupVersion; },
                   [this](std::optional<quint8> cardVersion) -> std::optional<QByteArray> {
                       askedWith = cardVersion;
                       return refuse ? std::nullopt : std::optional(toSend);
                   }});
    }

    const LinkState& s() const { return link.state(); }
    quint8 hostSeq() const { return s().ownSeq; }

    // The card answers every data frame the host has written since the last look with an Ack;
    // returns the payloads it acknowledged.
    QList<QByteArray> ackHostData()
    {
        QList<QByteArray> payloads;
        for (const QByteArray& f : splitFrames(port.takeWritten())) {
            if (f.size() > 5 && static_cast<quint8>(f[0]) == 0xC2) {
                payloads << payloadOf(f);
                port.deliver(Card::ack(static_cast<quint8>(f[2])));
            }
        }
        return payloads;
    }
    // Runs the card's side of the link set-up until the host has identified it.
    void identify(char kind = 'S', bool resetFirst = true)
    {
        if (resetFirst)
            port.deliver(QByteArray(1, static_cast<char>(SYN)));
        port.takeWritten();
        port.deliver(Card::linkSetup());
        ackHostData();
        port.deliver(card.data(hostSeq(), QByteArray::fromHex("020102030405")));
        ackHostData();
        port.deliver(card.data(hostSeq(), QByteArray::fromHex("03")));
        ackHostData(); // AppIdPacket
        ackHostData(); // 0x03
        QByteArray id = QByteArray::fromHex("044b583430") + QByteArray(1, kind) + QByteArray(5, '\0');
        port.deliver(card.data(hostSeq(), id));
        port.takeWritten(); // the host's Ack
        clock.advance(60);
    }
};

inline QByteArray hex(const char* h) { return QByteArray::fromHex(h); }
inline const QByteArray Syn(1, char(0x16));
inline QByteArray sidImage() { return encodeSidImage(defaultSetupValues()).image; }

// An AVM card's image of this set-up version.
inline QByteArray avmImage(quint8 version)
{
    QByteArray image(120, char(1));
    image[0] = 24;
    image[1] = static_cast<char>(version);
    return image;
}

// A frame whose CRC's low byte is spoiled.
inline QByteArray spoiled(QByteArray frame)
{
    frame[frame.size() - 2] = char(frame[frame.size() - 2] ^ 0x55);
    return frame;
}

// What the host wrote, a frame an entry: "ack 1" (its sequence byte), "nack 0", "data 000000"
// (payload), "c4 ..." (a plain frame), or a lone byte in hex.
inline QStringList described(const QByteArray& written)
{
    QStringList out;
    for (const QByteArray& f : splitFrames(written)) {
        const quint8 control = f.isEmpty() ? 0 : static_cast<quint8>(f[0]);
        if (f.size() == 1)
            out << QString::fromLatin1(f.toHex());
        else if (control == PlainControl)
            out << QStringLiteral("c4 ") + QString::fromLatin1(f.mid(1).toHex());
        else if (control == AckControl || control == NackControl)
            out << QStringLiteral("%1 %2").arg(control == AckControl ? "ack" : "nack").arg(static_cast<quint8>(f[1]));
        else
            out << QStringLiteral("data ") + QString::fromLatin1(payloadOf(f).toHex());
    }
    return out;
}

// A Get that has reached the point where the host asked for the card's set-up.
struct GetUnderWay : Harness {
    GetUnderWay()
    {
        link.get();
        identify('S');
        requests = ackHostData();
    }
    QList<QByteArray> requests;
};

// A Send that has reached the version exchange.
struct SendUnderWay : Harness {
    explicit SendUnderWay(char kind = 'S')
    {
        send();
        identify(kind);
        if (kind == 'A')
            ackHostData(); // BaudChange
        clock.advance(60);
        requests = ackHostData();
    }
    void reportVersion(quint8 version) { port.deliver(card.data(hostSeq(), QByteArray(1, char(0x17)) + QByteArray(1, char(version)))); }
    // The card answers the image with this data packet (its flash result, 0x19 r).
    void answerImage(const QByteArray& payload)
    {
        const QList<QByteArray> frames = splitFrames(port.takeWritten());
        port.deliver(card.data(static_cast<quint8>(frames.last()[2]), payload));
    }
    QList<QByteArray> requests;
};

} // namespace linktest
