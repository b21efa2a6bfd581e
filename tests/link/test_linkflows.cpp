// SPDX-License-Identifier: GPL-3.0-or-later
// The Get and Send flows: the image the card sends, the image the host sends, the card's version
// and flash reports, and how each flow ends.

#include "linkharness.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

using Outcomes = QList<std::tuple<FlowKind, FlowOutcome, FlowEnd>>;

TEST(CardLinkGet, theCardsImageIsToldAndTheFlowEndsWithTheConnection)
{
    for (const QByteArray& image : {sidImage(), avmImage(2)}) {
        GetUnderWay h;
        h.port.deliver(h.card.data(h.hostSeq(), image));
        EXPECT_EQ(h.events.images, QList{image});
        EXPECT_FALSE(h.link.portOpen());
        EXPECT_TRUE(h.events.buttonsEnabled);
        EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Succeeded, FlowEnd::Done}}));
    }
}

TEST(CardLinkGet, anImageThatIsNeitherKindOrOutOfRangeIsRefused)
{
    QByteArray level25 = sidImage();
    level25[3] = 25;
    const QByteArray bad[] = {hex("1801"), QByteArray(89, char(24)).replace(1, 1, QByteArray(1, char(1))),
                              QByteArray(90, char(24)).replace(1, 1, QByteArray(1, char(0))),
                              QByteArray(1030, char(0x41)).replace(0, 2, hex("1801")), level25};
    for (const QByteArray& image : bad) {
        GetUnderWay h;
        h.port.deliver(h.card.data(h.hostSeq(), image));
        EXPECT_TRUE(h.events.images.isEmpty()) << image.size();
        EXPECT_EQ(h.events.failures, QList{LinkFailure::ImageInvalid}) << image.size();
        EXPECT_EQ(h.events.failure.imageSize, image.size());
        EXPECT_EQ(h.events.failure.refusal.isEmpty(), image != level25) << "a SID image says which value";
        EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
    }
}

TEST(CardLinkGet, aSecondGetEndsTheFirstWhichShowsNothingMore)
{
    Harness h;
    h.link.get();
    h.identify();
    h.link.get();
    EXPECT_EQ(h.events.ends, QList{EndReason::Completed});
    EXPECT_EQ(h.port.opens, 2);
    h.port.takeWritten();
    h.clock.advance(4000);
    EXPECT_TRUE(h.events.failures.isEmpty());
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Failed, FlowEnd::ConnectionEnded}}));
    EXPECT_EQ(h.link.jobCount(), 1u); // only the new flow waits
}

TEST(CardLinkGet, aSetupOnAConnectionOpenedByHandEndsItAsAGetWould)
{
    Harness h;
    h.link.openPort();
    h.identify();
    h.port.deliver(h.card.data(h.hostSeq(), sidImage()));
    EXPECT_EQ(h.events.images.size(), 1);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Get, FlowOutcome::Succeeded, FlowEnd::Done}}));
    EXPECT_FALSE(h.link.portOpen());
}

TEST(CardLinkSend, aSetupFromTheCardDuringASendIsNotTaken)
{
    SendUnderWay h;
    h.port.deliver(h.card.data(h.hostSeq(), sidImage()));
    EXPECT_TRUE(h.events.images.isEmpty());
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkSend, theImageAskedForIsSentAndTheFlashResultAcknowledgesIt)
{
    SendUnderWay h;
    ASSERT_EQ(h.requests, QList<QByteArray>{hex("16")});
    h.reportVersion(0);
    EXPECT_TRUE(h.events.log.contains("version accepted"));
    EXPECT_EQ(h.askedWith, std::optional(std::optional<quint8>(0))) << "with the card's version";
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.written);
    ASSERT_FALSE(frames.isEmpty());
    EXPECT_EQ(payloadOf(frames.last()), sidImage());
    h.answerImage(hex("1900"));
    EXPECT_EQ(h.events.flashResults, QList<quint8>{0});
    EXPECT_EQ(h.events.ends, (QList{EndReason::FlashResultReported, EndReason::Completed}));
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Succeeded, FlowEnd::Done}}));
    EXPECT_EQ(h.events.flows.value(0).flashResult, 0);
}

// How the card answers the image: the flash report in place of the acknowledgement, or an
// acknowledgement and the report some time later (never: -1).
struct FlashReportRow {
    const char* name;
    bool ackFirst;
    int reportAfterMs;
    quint8 result;
    FlowEnd end;
};

void PrintTo(const FlashReportRow& row, std::ostream* os) { *os << row.name; }

class CardLinkFlashReport : public ::testing::TestWithParam<FlashReportRow> {};

TEST_P(CardLinkFlashReport, successOnlyAfterTheCardReportsAGoodFlashWrite)
{
    const FlashReportRow& row = GetParam();
    SendUnderWay h;
    h.reportVersion(0);
    h.clock.advance(60);
    const QList<QByteArray> frames = splitFrames(h.port.takeWritten());
    ASSERT_FALSE(frames.isEmpty());
    const quint8 imageSeq = static_cast<quint8>(frames.last()[2]);
    const QByteArray report = QByteArray::fromHex("19") + QByteArray(1, char(row.result));
    if (row.ackFirst) {
        h.port.deliver(Card::ack(imageSeq));
        // The card writes its flash; the host keeps the link alive and reports nothing yet.
        const int waitMs = row.reportAfterMs >= 0 ? row.reportAfterMs : 9900;
        for (int waited = 0; waited < waitMs; waited += 100) {
            h.clock.advance(std::min(100, waitMs - waited));
            h.ackHostData();
        }
        EXPECT_TRUE(h.events.flows.isEmpty());
        EXPECT_TRUE(h.link.portOpen());
        if (row.reportAfterMs < 0)
            h.clock.advance(200);
        else
            h.port.deliver(h.card.data(h.hostSeq(), report));
    } else {
        h.port.deliver(h.card.data(imageSeq, report));
    }
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.flashResults, row.reportAfterMs < 0 ? QList<quint8>{} : QList<quint8>{row.result});
    EXPECT_EQ(h.events.outcomes(),
              (Outcomes{{FlowKind::Send, row.end == FlowEnd::Done ? FlowOutcome::Succeeded : FlowOutcome::Failed, row.end}}));
    const QList<QByteArray> last = splitFrames(h.port.takeWritten());
    ASSERT_FALSE(last.isEmpty());
    EXPECT_EQ(last.last(), Syn);
    if (row.reportAfterMs >= 0) { // the report is acknowledged before the closing SYN
        ASSERT_GE(last.size(), 2);
        EXPECT_EQ(static_cast<quint8>(last[last.size() - 2][0]), AckControl);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardLinkFlashReport,
    ::testing::Values(FlashReportRow{"report_in_place_of_the_ack", false, 0, 0, FlowEnd::Done},
                      FlashReportRow{"report_300ms_after_the_ack", true, 300, 0, FlowEnd::Done},
                      FlashReportRow{"failed_write_after_the_ack", true, 300, 2, FlowEnd::NotDelivered},
                      FlashReportRow{"failed_write_in_place_of_the_ack", false, 0, 1, FlowEnd::NotDelivered},
                      FlashReportRow{"report_after_9_5s", true, 9500, 0, FlowEnd::Done},
                      FlashReportRow{"no_report_in_10s", true, -1, 0, FlowEnd::NotConfirmed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CardLinkSend, anImageNeverAcknowledgedIsReportedAsFailed)
{
    SendUnderWay h;
    h.reportVersion(0);
    h.clock.advance(60);
    for (int i = 0; i < 6; ++i)
        h.port.deliver(Card::nack(h.hostSeq()));
    h.clock.advance(500);
    EXPECT_EQ(h.events.failures, QList{LinkFailure::RetransmissionFailed});
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Failed, FlowEnd::NotDelivered}}));
}

TEST(CardLinkSend, aCardWithAnOlderSetupVersionEndsTheSendAndNoImageGoes)
{
    SendUnderWay h('A');
    h.setupVersion = 3;
    h.reportVersion(2);
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.failures, QList{LinkFailure::CardVersionTooOld});
    EXPECT_EQ(h.events.failure.cardVersion, 2);
    EXPECT_EQ(h.events.failure.setupVersion, 3);
    h.clock.advance(3000);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Failed, FlowEnd::VersionNotVerified}}));
    EXPECT_FALSE(h.askedWith.has_value());
}

TEST(CardLinkSend, noVersionReportWithinThreeSecondsLeavesTheConnectionOpen)
{
    SendUnderWay h;
    h.clock.advance(2900);
    EXPECT_TRUE(h.events.flows.isEmpty());
    h.clock.advance(200);
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Failed, FlowEnd::VersionNotVerified}}));
    EXPECT_TRUE(h.link.portOpen());
}

TEST(CardLinkSend, aVersionReportOfAnEarlierConnectionDoesNotLetTheImageGo)
{
    SendUnderWay h;
    h.reportVersion(0);
    h.link.cancel();
    h.send();
    h.identify('S', false); // this card does not reset the link first
    h.clock.advance(60);
    EXPECT_EQ(h.ackHostData(), QList<QByteArray>{hex("16")});
    h.clock.advance(3000);
    EXPECT_EQ(h.events.flows.value(1).end, FlowEnd::VersionNotVerified);
    EXPECT_TRUE(h.ackHostData().isEmpty()); // no image went out
}

TEST(CardLinkSend, aRefusedImageEndsTheSendWithNothingSent)
{
    SendUnderWay h('A');
    h.refuse = true;
    h.reportVersion(1);
    EXPECT_EQ(h.askedWith, std::optional(std::optional<quint8>(1)));
    EXPECT_FALSE(h.link.portOpen());
    EXPECT_EQ(h.events.outcomes(), (Outcomes{{FlowKind::Send, FlowOutcome::Failed, FlowEnd::ImageRefused}}));
    EXPECT_TRUE(described(h.port.takeWritten()).filter("data").isEmpty());
}

} // namespace
