// SPDX-License-Identifier: GPL-3.0-or-later
// The rack of simulated cards the fleet's tests stand on: each card on its own line, with its
// own kind, serial and options, named by the inventory the rack writes.

#include "simulatedrack.h"

#include "simulatedcard.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace e2e;

namespace {

TEST(SimulatedRack, everyCardAnswersAtOnceOnItsOwnLineWithItsKindSerialAndOptions)
{
    Workspace ws;
    SimulatedRack rack(ws);
    QList<RackCard> cards = SimulatedRack::mixed(4);
    QByteArray ownImage = quillon::sim::defaultCardImage(quillon::sim::CardKind::Avm);
    ownImage[20] = char(0x5A);
    QFile image(ws.path(QStringLiteral("own.bin")));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    image.write(ownImage);
    image.close();
    cards[3].options << QStringLiteral("--image") << image.fileName();
    ASSERT_TRUE(rack.start(cards));
    const QString inventory = ws.path(QStringLiteral("cards.ini"));
    ASSERT_EQ(rack.writeInventory(inventory), QString());

    const CliResult listed = runCli(ws, {QStringLiteral("cards"), QStringLiteral("list"), QStringLiteral("--json"),
                                         QStringLiteral("--inventory"), inventory});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QJsonArray entries = QJsonDocument::fromJson(listed.out.toUtf8()).object()[QStringLiteral("cards")].toArray();
    ASSERT_EQ(entries.size(), 4);

    // Every card read at once, each through the port its entry names.
    std::vector<std::unique_ptr<QProcess>> gets;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const bool avm = entry[QStringLiteral("kind")].toString() == QLatin1String("AVM");
        const QString file = ws.path(entry[QStringLiteral("name")].toString() + (avm ? QStringLiteral(".kxm") : QStringLiteral(".kxd")));
        gets.push_back(std::make_unique<QProcess>());
        gets.back()->setProcessEnvironment(ws.environment());
        gets.back()->start(QStringLiteral(QUILLON_CLI_PATH),
                           {QStringLiteral("get"), QStringLiteral("--port"), entry[QStringLiteral("port")].toString(), QStringLiteral("-o"),
                            file, QStringLiteral("--backup-dir"), ws.path(QStringLiteral("backups"))});
    }
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(gets.begin(), gets.end(), [](const auto& p) { return p->state() == QProcess::NotRunning; });
    }, 30000));
    for (std::size_t i = 0; i < gets.size(); ++i) {
        EXPECT_EQ(gets[i]->exitCode(), 0) << rack.card(int(i)).name.toStdString() << ": " << gets[i]->readAllStandardError().toStdString();
        const RackCard& card = rack.card(int(i));
        const QString kind = card.avm ? QStringLiteral("AVM") : QStringLiteral("SID");
        EXPECT_EQ(QDir(ws.path(QStringLiteral("backups"))).entryList({kind + u'-' + card.serial + QStringLiteral("-*")}).size(), 1)
            << card.name.toStdString();
    }
    QFile got(ws.path(QStringLiteral("card-04.kxm")));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll(), ownImage);
}

} // namespace
