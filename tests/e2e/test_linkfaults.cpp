// SPDX-License-Identifier: GPL-3.0-or-later
// The program's link engine in this process, on a real pseudo-terminal through Qt SerialPort,
// against a misbehaving simulated card.

#include "cardprocess.h"

#include "app/core/cardsession.h"
#include "link/cardlink.h"
#include "link/qtserialcontrol.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/operatorrecorder.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace e2e;
using namespace quillon;

namespace {

struct GetResult {
    std::optional<bool> succeeded;
    QStringList messages;
    QStringList panel2;
    QByteArray image;
};

// One Get through the engine against a card started with these options.
GetResult getFrom(const QStringList& cardOptions)
{
    Workspace ws;
    SimulatedCardProcess card(ws);
    if (!card.start(cardOptions))
        return {};
    SettingsStore store(ws.path(QStringLiteral("Quillon.conf")));
    QtSerialControl port(store);
    port.forceDevice(card.device);
    FixedPort ports(1);
    HeldSetup held;
    loadDefaults(held.fields);
    test::OperatorRecorder ui;
    CardSession session(port, ports, held, ui, store);
    session.trace().setPath({});
    GetResult run;
    QObject::connect(&session.operation(), &CardOperation::finished, [&](const OperationResult& r) { run.succeeded = r.succeeded; });
    OperationOptions options;
    options.backup = false;
    session.operation().get(options);
    waitFor([&] { return run.succeeded && !session.busy(); }, 20000);
    session.shutdown();
    run.messages = ui.messages;
    run.panel2 = ui.statuses.value(2);
    run.image = held.setupImage;
    return run;
}

TEST(LinkFaults, nacksAndABadCrcAreRecoveredFrom)
{
    const GetResult run = getFrom({QStringLiteral("--nack"), QStringLiteral("3"), QStringLiteral("--corrupt-crc"), QStringLiteral("1")});
    ASSERT_TRUE(run.succeeded.has_value());
    EXPECT_TRUE(*run.succeeded) << run.messages.join(" | ").toStdString();
    EXPECT_EQ(run.image, sim::defaultCardImage(sim::CardKind::Sid));
    EXPECT_EQ(run.messages, QStringList{QStringLiteral("Card Setup Retrieved")});
}

struct FailureRow {
    const char* name;
    QStringList cardOptions;
    const char* message; // empty: none expected
    const char* closed;  // the status naming the reason
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class FailedGet : public ::testing::TestWithParam<FailureRow> {};

TEST_P(FailedGet, endsTheConnectionWithItsReason)
{
    const FailureRow& row = GetParam();
    const GetResult run = getFrom(row.cardOptions);
    ASSERT_TRUE(run.succeeded.has_value()) << row.name;
    EXPECT_FALSE(*run.succeeded);
    if (*row.message) {
        // A message's first line; what lies behind it follows on the next.
        EXPECT_TRUE(run.messages.join('\n').split('\n').contains(QString::fromLatin1(row.message)))
            << run.messages.join(" | ").toStdString();
    }
    EXPECT_TRUE(run.panel2.contains(QString::fromLatin1(row.closed))) << run.panel2.join(" | ").toStdString();
    EXPECT_EQ(run.image, HeldSetup::emptySidImage()) << "nothing received, nothing changed";
}

INSTANTIATE_TEST_SUITE_P(
    Cards, FailedGet,
    ::testing::Values(
        FailureRow{"six_nacks_and_a_timeout", {QStringLiteral("--nack"), QStringLiteral("6"), QStringLiteral("--ignore"), QStringLiteral("1")},
                   "Error in communications, Retransmission failed.", "Port Closed 2"},
        FailureRow{"syn_after_identification", {QStringLiteral("--syn-mid-transfer")}, "", "Port Closed 4"},
        FailureRow{"unknown_device", {QStringLiteral("--unknown-device")}, "Unknown Device, Check Communications", "Port Closed 5"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatorProcess, stopsCleanlyOnSigtermAndRemovesItsLink)
{
    Workspace ws;
    SimulatedCardProcess card(ws);
    ASSERT_TRUE(card.start({}));
    EXPECT_TRUE(QFileInfo(card.device).isSymLink());
    card.stop();
    EXPECT_EQ(card.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(card.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(card.device) || QFileInfo(card.device).isSymLink());
}

} // namespace
