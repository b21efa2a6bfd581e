// SPDX-License-Identifier: GPL-3.0-or-later
// Whole transfers against the simulated card on virtual time, each recorded as the operator and the
// maintainer see it: the operator's messages, status panels, button states, labels and progress
// in order, the operation's stages, the readable frame log, the link's counters and the bytes of
// every trace file. Each recording must stay byte for byte what tests/app/golden/ holds.
// QUILLON_WRITE_GOLDEN=1 writes the recordings there instead (then read the diff).

#include "app/core/cardsession.h"
#include "app/core/linkpresenter.h"
#include "link/cardlink.h"
#include "link/framelog.h"
#include "link/linkobserver.h"
#include "app/core/settingsstore.h"
#include "link/tracefile.h"
#include "support/operatorrecorder.h"
#include "support/virtualclock.h"
#include "recordingui.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"
#include "support/testsupport.h"
#include "support/virtualserialline.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quillon {
namespace {

using sim::CardKind;
using sim::CardOptions;

// Keeps the trace file of each connection as it stood when the connection ended.
class TraceSnapshots : public LinkObserver {
public:
    explicit TraceSnapshots(QString path) : path_(std::move(path)) {}
    void connectionOpened() override { open_ = true; }
    void connectionEnded(EndReason) override
    {
        if (std::exchange(open_, false))
            traces << testsupport::readFile(path_);
    }
    QList<QByteArray> traces;

private:
    QString path_;
    bool open_ = false;
};

enum class Flow { Get, Send };
enum class Event { None, CancelSendImage, CancelGetImage, Unplug };

struct GoldenRow {
    const char* name;
    Flow flow;
    CardKind card;
    bool backup = false;
    bool verify = false;
    Event event = Event::None;
    std::function<void(CardOptions&)> setUp = {};
    bool portOpens = true;
};

void PrintTo(const GoldenRow& row, std::ostream* os) { *os << row.name; }

// The link, the operation and their observers, as the program puts them together, on a virtual line
// to a simulated card that has been calling for a while.
struct Rig {
    explicit Rig(const GoldenRow& row) : card(clock, [&] {
        CardOptions options;
        options.kind = row.card;
        if (row.setUp)
            row.setUp(options);
        return options;
    }())
    {
        if (!row.portOpens)
            line.setOpenablePorts({});
        // Everything the operator is shown, at the virtual time it was shown.
        ui.clock = [this] { return clock.nowMs(); };
        ui.changesOnly = true;
        session.presenter().fileName = [] { return QStringLiteral("Studio"); };
        session.trace().setPath(dir.filePath("Out.bin"));
        loadDefaults(held.fields);
        held.fields.setText(Field::Gpi1Text, "ON AIR");
        if (row.card == CardKind::Avm && row.flow == Flow::Send) {
            held.setupImage = sim::defaultCardImage(CardKind::Avm);
            held.setupImage[60] = 0x42;
            held.loadedCardType = held.connectedCardType = CardType::AVM;
        }
        session.frameLog().echo = [this](const QString& text) { frames << text; };
        link.addObserver(&snapshots);
        QObject::connect(&session, &CardSession::connectionEnded, [this](const LinkCounters& c) { counters << countersLine(c); });
        QObject::connect(&operation, &CardOperation::stageChanged, [this](OperationStage s, bool done) {
            steps << QStringLiteral("%1 %2 %3").arg(QString::number(clock.nowMs()).rightJustified(6),
                                                     done ? "done: " : "start:", operationStageText(s, sending));
        });
        QObject::connect(&operation, &CardOperation::finished, [this](const OperationResult& r) {
            steps << QStringLiteral("%1 finished: %2").arg(QString::number(clock.nowMs()).rightJustified(6),
                                                           r.succeeded ? "succeeded" : "failed");
            finished = true;
        });
        options.backup = row.backup;
        options.verify = row.verify;
        options.backupFolder = dir.filePath("backups");
        card.start();
        clock.advance(700);
    }

    QString recording() const
    {
        QStringList out;
        out << "# operator" << ui.lines << "# operation" << steps << "# frame log" << frames << "# counters" << counters;
        for (int i = 0; i < snapshots.traces.size(); ++i) {
            out << QStringLiteral("# trace of connection %1 (%2 bytes)").arg(QString::number(i + 1), QString::number(snapshots.traces[i].size()));
            const QByteArray& trace = snapshots.traces[i];
            for (qsizetype at = 0; at < trace.size(); at += 32)
                out << QString::fromLatin1(trace.mid(at, 32).toHex(' '));
        }
        return out.join('\n') + '\n';
    }

    QTemporaryDir dir;
    VirtualClock clock;
    sim::SimulatedCard card;
    sim::VirtualSerialLine line{clock, card};
    FixedPort ports{1};
    HeldSetup held;
    test::OperatorRecorder ui;
    TraceSnapshots snapshots{dir.filePath("Out.bin")};
    SettingsStore settings{dir.filePath("Quillon.conf")};
    CardSession session{line, ports, held, ui, settings, &clock};
    CardLink& link = session.link();
    CardOperation& operation = session.operation();
    OperationOptions options;
    bool sending = false;
    bool finished = false;
    QStringList frames, counters, steps;
};

const QByteArray GetRequest = QByteArray::fromHex("1500");

// Runs until the event's moment, then makes it happen; false when the moment never came.
bool happen(Rig& r, Event event)
{
    const auto at = [&](const std::function<bool()>& moment) {
        return r.clock.advanceUntil([&] { return moment() || r.finished; }, 30000, 1) && !r.finished;
    };
    switch (event) {
    case Event::None:
        return true;
    case Event::CancelSendImage:
        if (!at([&] { return r.line.outBufferCount() > 40; }))
            return false;
        r.operation.cancel();
        return true;
    case Event::CancelGetImage:
        if (!at([&] { return r.link.state().cardIdentified && r.card.received().contains(GetRequest); }))
            return false;
        r.clock.advance(40); // the card's image is on the line
        r.operation.cancel();
        return true;
    case Event::Unplug:
        if (!at([&] { return r.link.state().cardIdentified; }))
            return false;
        r.clock.advance(20);
        r.line.unplug();
        return true;
    }
    return false;
}

class TransferGolden : public ::testing::TestWithParam<GoldenRow> {};

TEST_P(TransferGolden, recordsWhatItAlwaysRecorded)
{
    const GoldenRow& row = GetParam();
    Rig r(row);
    r.sending = row.flow == Flow::Send;
    r.sending ? r.operation.send(r.options) : r.operation.get(r.options);
    ASSERT_TRUE(happen(r, row.event));
    ASSERT_TRUE(r.clock.advanceUntil([&] { return r.finished; }, 60000, 5));
    r.clock.advance(30000); // what comes late comes too
    const QString recorded = r.recording();

    const QString path = QStringLiteral(QUILLON_GOLDEN_DIR "/%1.txt").arg(row.name);
    if (qEnvironmentVariableIsSet("QUILLON_WRITE_GOLDEN")) {
        testsupport::writeFile(path, recorded.toUtf8());
        return;
    }
    const QString golden = QString::fromUtf8(testsupport::readFile(path));
    ASSERT_FALSE(golden.isEmpty()) << "no recording at " << path.toStdString();
    const QStringList want = golden.split('\n'), got = recorded.split('\n');
    for (qsizetype i = 0; i < std::max(want.size(), got.size()); ++i)
        ASSERT_EQ(got.value(i).toStdString(), want.value(i).toStdString()) << "first difference at line " << i + 1;
}

void nacksAndLosses(CardOptions& o)
{
    o.faults.nackNext = 2;
    o.faults.ignoreNext = 1;
    o.faults.corruptCrcNext = 1;
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, TransferGolden,
    ::testing::Values(
        GoldenRow{"sid_get", Flow::Get, CardKind::Sid, true},
        GoldenRow{"sid_send", Flow::Send, CardKind::Sid},
        GoldenRow{"avm_get_at_1200_baud", Flow::Get, CardKind::Avm, true},
        GoldenRow{"avm_send", Flow::Send, CardKind::Avm},
        GoldenRow{"sid_send_backup_and_verify", Flow::Send, CardKind::Sid, true, true},
        GoldenRow{"nacks_and_retransmissions", Flow::Send, CardKind::Sid, false, false, Event::None, nacksAndLosses},
        GoldenRow{"syn_mid_transfer", Flow::Get, CardKind::Sid, true, false, Event::None,
                  [](CardOptions& o) { o.synAfterIdentification = true; }},
        GoldenRow{"silent_card", Flow::Get, CardKind::Sid, true, false, Event::None, [](CardOptions& o) { o.silent = true; }},
        GoldenRow{"cancel_send_mid_image", Flow::Send, CardKind::Avm, false, false, Event::CancelSendImage},
        GoldenRow{"cancel_get_mid_image", Flow::Get, CardKind::Sid, true, false, Event::CancelGetImage},
        GoldenRow{"port_vanishes", Flow::Get, CardKind::Avm, true, false, Event::Unplug},
        GoldenRow{"flash_write_fails", Flow::Send, CardKind::Sid, false, false, Event::None,
                  [](CardOptions& o) { o.flashResult = 2; }},
        GoldenRow{"card_version_too_old", Flow::Send, CardKind::Avm, false, false, Event::None,
                  [](CardOptions& o) { o.version = 0x00; o.image = sim::defaultCardImage(CardKind::Avm); }},
        GoldenRow{"unknown_device", Flow::Get, CardKind::Sid, true, false, Event::None, [](CardOptions& o) { o.unknownDevice = true; }},
        GoldenRow{"card_never_identifies", Flow::Send, CardKind::Sid, true, true, Event::None,
                  [](CardOptions& o) { o.neverIdentify = true; }},
        GoldenRow{"port_does_not_open", Flow::Get, CardKind::Sid, true, false, Event::None, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillon
