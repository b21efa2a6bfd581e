// SPDX-License-Identifier: GPL-3.0-or-later
// What the operator is shown of each thing the link tells: the one table of the link's wording.

#include "app/core/linkpresenter.h"
#include "link/cardlink.h"
#include "link/tracefile.h"
#include "recordingui.h"
#include "support/operatorrecorder.h"
#include "support/virtualclock.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

// A port that never opens: the link only relays what the test makes it say.
class NoPort : public SerialControl {
public:
    void setCommPort(int) override {}
    int commPort() const override { return 1; }
    void setSettings(const QString&) override {}
    QString settings() const override { return {}; }
    bool setPortOpen(bool) override { return false; }
    bool portOpen() const override { return false; }
    int inBufferCount() const override { return 0; }
    int outBufferCount() const override { return 0; }
    QByteArray input(int) override { return {}; }
    void output(const QByteArray&) override {}
};

struct Said {
    VirtualClock clock;
    NoPort port;
    FixedPort ports{1};
    TraceFile trace;
    CardLink link{port, clock, ports, trace};
    test::OperatorRecorder ui;
    LinkPresenter presenter{link, ui, clock};
    Said() { presenter.fileName = [] { return QStringLiteral("Studio"); }; }
};

LinkFailure failure(LinkFailure::Kind kind, std::function<void(LinkFailure&)> more = {})
{
    LinkFailure f(kind);
    f.port = 2;
    if (more)
        more(f);
    return f;
}

FlowResult flow(FlowKind kind, FlowEnd end)
{
    return {kind, end == FlowEnd::Done ? FlowOutcome::Succeeded : FlowOutcome::Failed, end, EndReason::Completed, {}};
}

struct WordingRow {
    const char* name;
    std::function<void(CardLink&)> tell;
    QStringList shown;
};

void PrintTo(const WordingRow& row, std::ostream* os) { *os << row.name; }

class Wording : public ::testing::TestWithParam<WordingRow> {};

TEST_P(Wording, isWhatTheProgramHasAlwaysSaid)
{
    Said said;
    GetParam().tell(said.link);
    EXPECT_EQ(said.ui.lines, GetParam().shown);
}

using K = LinkFailure::Kind;
const QString SilentCardChecks = QStringLiteral(
    "Check that the card is powered on, that it is connected with a null-modem cable, and that the cable is on the "
    "port the card is on: Options > Port Assignment... shows what Com1 to Com4 stand for, and the Options menu "
    "chooses one.");
auto fails(LinkFailure f) { return [f](CardLink& l) { Q_EMIT l.failed(f); }; }
auto ends(FlowResult r) { return [r](CardLink& l) { Q_EMIT l.flowEnded(r); }; }

INSTANTIATE_TEST_SUITE_P(
    Table, Wording,
    ::testing::Values(
        WordingRow{"flow_started", [](CardLink& l) { Q_EMIT l.flowStarted(FlowKind::Get); }, {"buttons off", "progress shown"}},
        WordingRow{"port_opening", [](CardLink& l) { Q_EMIT l.portOpening(1); }, {"panel 3: "}},
        WordingRow{"serial_number", [](CardLink& l) { Q_EMIT l.serialNumberReceived("12345"); }, {"panel 2: Serial Number Received"}},
        WordingRow{"avm_identified", [](CardLink& l) { Q_EMIT l.cardIdentified({CardType::AVM, {}}); }, {"panel 3: AVM Card Detected"}},
        WordingRow{"sid_identified", [](CardLink& l) { Q_EMIT l.cardIdentified({CardType::SID, {}}); }, {"panel 3: SID Card Detected"}},
        WordingRow{"unknown_card_identified", [](CardLink& l) { Q_EMIT l.cardIdentified({}); }, {}},
        WordingRow{"framing", [](CardLink& l) { Q_EMIT l.framing(CheckMode::Bits8, false, true); },
                   {"label 0: 8bit", "label 1: False", "label 2: Data"}},
        WordingRow{"keep_alive_two_blanks_before_the_count", [](CardLink& l) { Q_EMIT l.keepAliveTicked(2, 1); }, {"panel 2: SN Count 2  1"}},
        WordingRow{"resend", [](CardLink& l) { Q_EMIT l.retransmitting(0); }, {"panel 2: Resend  0"}},
        WordingRow{"version_accepted", [](CardLink& l) { Q_EMIT l.versionAccepted(); }, {"panel 2: Setup Version Correct"}},
        WordingRow{"image_in_gives_the_buttons_back", [](CardLink& l) { Q_EMIT l.stageReached(TransferStage::ImageTransferred); },
                   {"stage 2", "buttons on"}},
        WordingRow{"flash_stage_hides_the_dialog", [](CardLink& l) { Q_EMIT l.stageReached(TransferStage::FlashResult); },
                   {"stage 3", "progress hidden"}},
        WordingRow{"connection_ended", [](CardLink& l) { Q_EMIT l.connectionEnded(EndReason::Completed); },
                   {"buttons on", "progress hidden", "panel 2: Port Closed 7"}},
        WordingRow{"closed_by_hand", [](CardLink& l) { Q_EMIT l.closedByHand(); }, {"message [information]: Port Closed"}},
        WordingRow{"flash_0", [](CardLink& l) { Q_EMIT l.flashReported(0); }, {"message [information]: Studio Transferred.", "focus"}},
        WordingRow{"flash_1", [](CardLink& l) { Q_EMIT l.flashReported(1); }, {"message [critical]: Hardware Memory Error. Error 01.", "focus"}},
        WordingRow{"flash_2", [](CardLink& l) { Q_EMIT l.flashReported(2); }, {"message [critical]: Error writing Studio to flash. Error 02.", "focus"}},
        WordingRow{"flash_3", [](CardLink& l) { Q_EMIT l.flashReported(3); }, {"message [critical]: Error Closing Studio Error 03.", "focus"}},
        WordingRow{"flash_other", [](CardLink& l) { Q_EMIT l.flashReported(9); }, {"focus"}},
        WordingRow{"port_not_usable", fails(failure(K::PortNotUsable, [](LinkFailure& f) { f.findings = "Com2: gone"; })),
                   {"message [critical]: Current com port selection is not valid | Com2: gone"}},
        WordingRow{"port_not_opened_says_why", fails(failure(K::PortNotOpened, [](LinkFailure& f) { f.portError = "Permission denied"; })),
                   {"message [critical]: The serial port could not be opened: Permission denied"}},
        WordingRow{"port_not_opened_no_reason", fails(failure(K::PortNotOpened)), {"message [critical]: Com2 could not be opened."}},
        WordingRow{"port_gone", fails(failure(K::PortGone)), {"message [critical]: Port not functioning, please try another port #1"}},
        // The commonest failure in the field: what arrived from the card, and what to check.
        WordingRow{"card_silent", fails(failure(K::CardSilent, [](LinkFailure& f) { f.device = "/dev/ttyUSB0"; f.bytesHeard = 0; f.waitedMs = 5000; })),
                   {"message [critical]: Port not functioning, please try another port #2 | Nothing was received from the "
                    "card on Com2 (/dev/ttyUSB0) in 5 s.\n" + SilentCardChecks}},
        WordingRow{"card_silent_only_noise", fails(failure(K::CardSilent, [](LinkFailure& f) { f.bytesHeard = 7; f.waitedMs = 5000; })),
                   {"message [critical]: Port not functioning, please try another port #2 | Only noise was received from "
                    "the card on Com2 in 5 s (7 bytes that set up no link).\n" + SilentCardChecks}},
        WordingRow{"port_vanished", fails(failure(K::PortVanished)),
                   {"message [critical]: The serial port closed during the transfer. Please check the connection to the card."}},
        WordingRow{"port_vanished_says_why", fails(failure(K::PortVanished, [](LinkFailure& f) { f.portError = "No such device"; })),
                   {"message [critical]: The serial port closed during the transfer (No such device). Please check the connection to the card."}},
        WordingRow{"server_port_not_opened_names_the_server", fails(failure(K::PortNotOpened, [](LinkFailure& f) {
                       f.device = "rfc2217://rack3:4001";
                       f.network = {NetFailure::Kind::ConnectionRefused, {}};
                       f.findings = "Next step: check that ser2net is running.";
                   })),
                   {"message [critical]: The card's port on the serial server could not be opened: rfc2217://rack3:4001: the server "
                    "refused the connection. | Next step: check that ser2net is running."}},
        WordingRow{"server_port_not_opened_without_a_name_uses_the_ports_words", fails(failure(K::PortNotOpened, [](LinkFailure& f) {
                       f.portError = "socket://rack3:4002: no answer from the server within 2 s";
                       f.network = {NetFailure::Kind::NoAnswer, {}};
                   })),
                   {"message [critical]: The card's port on the serial server could not be opened: socket://rack3:4002: no answer "
                    "from the server within 2 s."}},
        WordingRow{"server_lost_mid_transfer", fails(failure(K::PortVanished, [](LinkFailure& f) {
                       f.device = "rfc2217://rack3:4001";
                       f.network = {NetFailure::Kind::Dropped, "the server closed it"};
                       f.findings = "Next step: check the network.";
                   })),
                   {"message [critical]: The transfer stopped: rfc2217://rack3:4001: the connection to the server was lost (the "
                    "server closed it). | Next step: check the network."}},
        WordingRow{"avm_card_on_a_fixed_speed_line", fails(failure(K::LineSpeedFixed, [](LinkFailure& f) { f.refusal = "Use rfc2217://rack3:4002."; })),
                   {"message [critical]: An AVM card was found, but the speed of its line cannot be changed through this port: the "
                    "connection was ended before the transfer. | Use rfc2217://rack3:4002."}},
        WordingRow{"round_trip_above_the_limit_said_once_for_each_server", [](CardLink& l) {
                       for (int connection = 0; connection < 3; ++connection)
                           Q_EMIT l.roundTripAboveLimit("rfc2217://rack3:4001", 243.4, 200);
                       Q_EMIT l.roundTripAboveLimit("rfc2217://rack4:4001", 301, 200);
                   },
                   {"message [warning]: The serial server answers slowly: a round trip of 243 ms, above the 200 ms up to which "
                    "transfers run clean. The card may send frames again; the transfer goes on. | Next step: reach the "
                    "server over a faster network path (a wired link, a server nearer to the card, no VPN) if transfers fail.",
                    "message [warning]: The serial server answers slowly: a round trip of 301 ms, above the 200 ms up to which "
                    "transfers run clean. The card may send frames again; the transfer goes on. | Next step: reach the "
                    "server over a faster network path (a wired link, a server nearer to the card, no VPN) if transfers fail."}},
        WordingRow{"not_identified", fails(failure(K::CardNotIdentified)),
                   {"message [critical]: Error establishing communications, Please check connections"}},
        WordingRow{"retransmission", fails(failure(K::RetransmissionFailed)), {"message [critical]: Error in communications, Retransmission failed."}},
        WordingRow{"cts", fails(failure(K::WriteTimeout)), {"message [critical]: CTS Timeout Transfer aborted"}},
        WordingRow{"unknown_device", fails(failure(K::UnknownDevice)), {"message [critical]: Unknown Device, Check Communications"}},
        WordingRow{"card_version_too_old", fails(failure(K::CardVersionTooOld)),
                   {"message [critical]: Card Setup Newer than Card Firmware, Please Upgrade Card Firmware.", "panel 2: Card Setup Failed"}},
        WordingRow{"image_of_neither_kind", fails(failure(K::ImageInvalid, [](LinkFailure& f) { f.imageSize = 2; f.imageVersion = 1; })),
                   {"message [critical]: The card sent a set-up of 2 bytes with version 1, which is neither a SID nor an AVM set-up. Nothing was changed."}},
        WordingRow{"image_with_a_value_out_of_range", fails(failure(K::ImageInvalid, [](LinkFailure& f) { f.refusal = "Level 25."; })),
                   {"message [critical]: Level 25."}},
        WordingRow{"get_done", ends(flow(FlowKind::Get, FlowEnd::Done)), {"panel 2: Process Complete", "message [information]: Card Setup Retrieved"}},
        WordingRow{"read_done", ends(flow(FlowKind::Read, FlowEnd::Done)), {}},
        WordingRow{"send_done", ends(flow(FlowKind::Send, FlowEnd::Done)), {"panel 2: Card Setup Sent", "message [information]: Card Setup Sent!"}},
        WordingRow{"send_refused", ends(flow(FlowKind::Send, FlowEnd::ImageRefused)),
                   {"panel 2: Card Setup Failed", "message [critical]: Card Setup Failed"}},
        WordingRow{"send_version_not_verified", ends(flow(FlowKind::Send, FlowEnd::VersionNotVerified)),
                   {"message [critical]: Version Packet Not Verified"}},
        WordingRow{"send_not_confirmed", ends(flow(FlowKind::Send, FlowEnd::NotConfirmed)),
                   {"panel 2: Card Setup Not Confirmed", "message [critical]: The card did not confirm writing the set-up to its flash memory."}},
        WordingRow{"send_not_delivered", ends(flow(FlowKind::Send, FlowEnd::NotDelivered)), {"panel 2: Card Setup Failed"}},
        WordingRow{"send_cancelled", ends(flow(FlowKind::Send, FlowEnd::Cancelled)), {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Toolbar buttons 5 and 6 come back 20 s after a flow started, whatever became of it.
TEST(LinkPresenterButtons, comeBackTwentySecondsAfterAFlowStarts)
{
    Said said;
    Q_EMIT said.link.flowStarted(FlowKind::Send);
    said.clock.advance(19999);
    EXPECT_FALSE(said.ui.lines.contains("buttons on"));
    said.clock.advance(1);
    EXPECT_EQ(said.ui.lines.last(), "buttons on");
    said.presenter.stop();
    Q_EMIT said.link.flowStarted(FlowKind::Send);
    said.ui.lines.clear();
    said.presenter.stop();
    said.clock.advance(30000);
    EXPECT_TRUE(said.ui.lines.isEmpty()) << "stopped at shut-down";
}

} // namespace
} // namespace quillon
