// SPDX-License-Identifier: GPL-3.0-or-later
// The card link engine on a virtual line: the simulated card brings the connection to a starting
// point, then the fuzz input speaks for the card.

#include "fuzzentries.h"

#include "app/core/cardsession.h"
#include "link/cardlink.h"
#include "link/framecodec.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "support/operatorrecorder.h"
#include "support/virtualclock.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/virtualserialline.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

namespace {

using namespace quillon::sim;

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "link receiver: %s\n", what);
    std::abort();
}

// Every text shown to the operator must have all its placeholders filled.
void checkPlaceholders(const QString& shown)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    if (shown.contains(placeholder))
        violated("a message with an unfilled placeholder");
}

enum class Reached { PortOpen, LinkUpgraded, LinkUp, Identified, ImageSent };

struct LinkStart {
    CardKind card;
    FlowKind flow;
    Reached reached;
    quint8 switchTo = 0; // a frame with this control byte changes the frame form first
};

// Where the connection stands when the input takes over: a fresh port, each step of the set-up,
// identified SID (9600 baud) and AVM (1200 baud) cards in a Get and a Send, a Send whose image is
// on its way, and the check and header modes the card could switch to.
const LinkStart Starts[] = {
    {CardKind::Sid, FlowKind::Get, Reached::PortOpen},
    {CardKind::Sid, FlowKind::Get, Reached::LinkUpgraded},
    {CardKind::Sid, FlowKind::Get, Reached::LinkUp},
    {CardKind::Sid, FlowKind::Get, Reached::Identified},
    {CardKind::Avm, FlowKind::Get, Reached::Identified},
    {CardKind::Sid, FlowKind::Send, Reached::Identified},
    {CardKind::Sid, FlowKind::Send, Reached::ImageSent},
    {CardKind::Avm, FlowKind::Send, Reached::Identified},
    {CardKind::Avm, FlowKind::Send, Reached::ImageSent},
    {CardKind::Sid, FlowKind::Get, Reached::Identified, 0xC5},  // 8-bit check, no header
    {CardKind::Sid, FlowKind::Get, Reached::Identified, 0xC6},  // 16-bit CRC, no header
    {CardKind::Sid, FlowKind::Get, Reached::LinkUpgraded, 0xC4}, // no check, no header
    {CardKind::Avm, FlowKind::Send, Reached::Identified, 0xC5},
    {CardKind::Sid, FlowKind::Send, Reached::LinkUp, 0xC6},
};
constexpr int StartCount = int(std::size(Starts));

CardOptions cardOptions(CardKind kind)
{
    CardOptions options;
    options.kind = kind;
    return options;
}

// A packet with an ignored command (6) under the given control byte, with a good CRC, so that
// the host takes it in any mode and switches to the control byte's frame form.
QByteArray modeSwitchFrame(quint8 control)
{
    const QByteArray packet = QByteArray(1, char(control)) + QByteArray(1, '\x06');
    const quint16 crc = crc16(packet);
    QByteArray check;
    check.append(char(crc >> 8)).append(char(crc & 0xFF));
    return QByteArray(1, char(STX)) + packet.left(1) + stuffBytes(packet.mid(1) + check)
        + QByteArray(1, char(ETX));
}

struct Session {
    explicit Session(const LinkStart& start) : begin(start), card(clock, cardOptions(start.card))
    {
        ui.onLine = checkPlaceholders;
        loadDefaults(held.fields);
        if (start.card == CardKind::Avm && start.flow == FlowKind::Send) {
            held.setupImage = defaultCardImage(CardKind::Avm);
            held.loadedCardType = CardType::AVM;
        }
        session.trace().setPath({});
        QObject::connect(&link, &CardLink::flowEnded, [this](const FlowResult& r) { outcomes.push_back(r.outcome); });
        options.backup = false;
        options.verify = false;
    }
    void get() { session.operation().get(options); }

    bool reached() const
    {
        const LinkState& s = link.state();
        switch (begin.reached) {
        case Reached::PortOpen:
            return link.portOpen();
        case Reached::LinkUpgraded:
            return s.checkMode == CheckMode::Bits16 && s.headerMode;
        case Reached::LinkUp:
            return s.linkUp;
        case Reached::Identified:
            return s.cardIdentified
                && line.hostBaud() == (begin.card == CardKind::Avm ? 1200 : 9600);
        case Reached::ImageSent: // on its way to the card, which must not answer it
            return std::any_of(line.log().begin(), line.log().end(), [](const auto& t) {
                return t.fromHost && t.bytes.size() >= SidImageSize;
            });
        }
        return false;
    }

    // Plays the card's part up to the starting point; false when it was not reached.
    bool start()
    {
        if (begin.flow == FlowKind::Get)
            get();
        else
            session.operation().send(options);
        if (begin.reached != Reached::PortOpen)
            card.start();
        return clock.advanceUntil([this] { return reached(); }, 10000);
    }

    // From here on the card says only what it is given; it still hears the host.
    void takeOverCard()
    {
        speak = card.onSend;
        card.onSend = nullptr;
        card.stop();
        if (begin.switchTo) {
            speak(modeSwitchFrame(begin.switchTo));
            clock.advance(20);
        }
    }

    const LinkStart begin;
    VirtualClock clock;
    SimulatedCard card;
    VirtualSerialLine line{clock, card};
    FixedPort ports{1};
    HeldSetup held;
    test::OperatorRecorder ui;
    SettingsStore settings{QDir::temp().filePath(QStringLiteral("quillon-fuzz-unwritten.conf"))}; // read, never written
    CardSession session{line, ports, held, ui, settings, &clock};
    CardLink& link = session.link();
    OperationOptions options;
    std::function<void(const QByteArray&)> speak;
    std::vector<FlowOutcome> outcomes;
};

} // namespace

int linkStartCount() { return StartCount; }

int linkReceiver(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    Session session(Starts[(data[0] & 0x0F) % StartCount]);
    if (!session.start())
        violated("the simulated card did not bring the link to the starting point");
    session.takeOverCard();

    std::size_t at = 1;
    while (at + 2 <= size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 2);
        const int pauseMs = data[at + 1];
        at += 2;
        if (length > 0)
            session.speak(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(length)));
        at += length;
        session.clock.advance(pauseMs);
    }

    // However the card behaved, the operator can end the connection, or start another one.
    std::size_t flows = 1;
    switch (data[0] >> 6) {
    case 0:
        session.link.cancel();
        break;
    case 1:
        session.link.shutdown();
        break;
    case 2:
        session.get();
        ++flows;
        session.clock.advance(6000);
        session.link.cancel();
        break;
    default:
        // Keep-alive ticks, retransmissions and waits run out on their own (a version wait takes
        // 3 s); a Get or Send whose connection has ended must have ended too.
        session.clock.advance(9000);
        if (!session.link.portOpen() && session.link.flowRunning())
            violated("a Get or Send outlived its connection");
        session.link.cancel();
        break;
    }
    session.clock.advance(3000);
    if (session.link.flowRunning() || session.link.portOpen())
        violated("the connection did not end");
    if (session.outcomes.size() != flows)
        violated("a Get or Send did not report its end exactly once");
    if (session.link.jobCount() != 0)
        violated("a job is still waiting after the connection ended");
    return 0;
}

RecordedSeed recordedLinkSeed(int start)
{
    Session session(Starts[start % StartCount]);
    if (!session.start())
        return {};
    if (session.begin.reached == Reached::PortOpen)
        session.card.start();
    // What the card sends, and when; the input gives the pause after each chunk, so an empty
    // chunk first holds the pause before the card's first word.
    std::vector<std::pair<qint64, QByteArray>> said{{session.clock.nowMs(), {}}};
    auto speak = std::exchange(session.card.onSend, nullptr);
    session.card.onSend = [&](const QByteArray& bytes) {
        said.emplace_back(session.clock.nowMs(), bytes);
        speak(bytes);
    };
    if (session.begin.switchTo) {
        session.card.onSend(modeSwitchFrame(session.begin.switchTo));
        session.clock.advance(20);
    }
    session.clock.advanceUntil([&] { return !session.outcomes.empty() && !session.link.portOpen(); }, 60000);
    session.card.onSend = std::move(speak);
    const qint64 endMs = session.clock.nowMs() + 100;

    QByteArray input(1, char(start)); // then cancelled
    for (std::size_t i = 0; i < said.size(); ++i) {
        const QByteArray& bytes = said[i].second;
        qsizetype pauseAt = 0;
        for (qsizetype from = 0; from < bytes.size() || from == 0; from += 255) {
            input += char(std::min<qsizetype>(bytes.size() - from, 255));
            pauseAt = input.size();
            input += '\0';
            input += bytes.mid(from, 255);
        }
        const qint64 pause = (i + 1 < said.size() ? said[i + 1].first : endMs) - said[i].first;
        input[pauseAt] = char(std::min<qint64>(pause, 255));
        for (qint64 left = pause - 255; left > 0; left -= 255)
            input += QByteArray(1, '\0') + char(std::min<qint64>(left, 255));
    }
    return {input, session.outcomes == std::vector<FlowOutcome>{FlowOutcome::Succeeded}};
}

} // namespace quillon::fuzz
