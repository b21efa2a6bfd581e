// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A capture fake of the serial control on virtual time, a recording operator interface, and the
// card's side of the frames, for driving the link engine by hand.

#include "link/cardlink.h"
#include "link/framecodec.h"
#include "link/tracefile.h"
#include "link/virtualclock.h"
#include "setup/heldsetup.h"
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
        ++(open ? opens : closes);
        if (!open)
            in_.clear();
        return true;
    }
    bool portOpen() const override { return open_; }
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
        if (open_)
            written += bytes;
    }

    // Bytes from the card arrive as one receive event, later on the clock.
    void deliver(const QByteArray& bytes)
    {
        clock_.post(0, [this, bytes] {
            if (!open_)
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

private:
    VirtualClock& clock_;
    int port_ = 0;
    bool open_ = false;
    QString settings_ = QStringLiteral("9600,N,8,2");
    QByteArray in_;
};

class RecordingUi : public OperatorUi {
public:
    void message(const QString& text) override { messages << text; events << "message: " + text; }
    void status(int panel, const QString& text) override
    {
        statuses[panel] = text;
        events << QStringLiteral("status%1: %2").arg(panel).arg(text);
    }
    void transferButtonsEnabled(bool enabled) override { buttonsEnabled = enabled; }
    void diagnosticLabel(int index, const QString& text) override { labels[index] = text; }
    void hideProgress() override { ++progressHidden; }
    void focusMainWindow() override { ++focused; }

    QStringList messages;
    QStringList events;
    QMap<int, QString> statuses;
    QMap<int, QString> labels;
    bool buttonsEnabled = true;
    int progressHidden = 0;
    int focused = 0;
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
    HeldSetup held;
    RecordingUi ui;
    TraceFile trace;
    CardLink link{port, clock, ports, held, ui, trace};
    Card card;
    QList<std::pair<FlowKind, FlowOutcome>> outcomes;

    Harness()
    {
        loadDefaults(held.fields);
        link.onFlowFinished = [this](FlowKind k, FlowOutcome o) { outcomes.append({k, o}); };
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

} // namespace linktest
