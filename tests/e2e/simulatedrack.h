// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cardprocess.h"

#include "app/core/inventory.h"

#include <QList>
#include <memory>
#include <vector>

// A rack of simulated cards: one paced kx40-sim each, on pseudo-terminals of their own, and the
// inventory that names them.

namespace e2e {

struct RackCard {
    QString name;
    bool avm = false;
    QString serial;      // 10 hexadecimal digits
    QStringList options; // more kx40-sim options: faults, flash result, ...
    QStringList groups;
};

class SimulatedRack {
public:
    explicit SimulatedRack(const Workspace& ws) : ws_(ws) {}

    // n cards named "card-01"..., SID and AVM in turn (the first SID), serials 4B58340001...,
    // all in group "rack" and the odd ones also in "odd".
    static QList<RackCard> mixed(int n)
    {
        QList<RackCard> cards;
        for (int i = 1; i <= n; ++i) {
            RackCard card;
            card.name = QStringLiteral("card-%1").arg(i, 2, 10, QLatin1Char('0'));
            card.avm = i % 2 == 0;
            card.serial = QStringLiteral("4B5834%1").arg(i, 4, 16, QLatin1Char('0')).toUpper();
            card.groups = i % 2 == 1 ? QStringList{QStringLiteral("rack"), QStringLiteral("odd")} : QStringList{QStringLiteral("rack")};
            cards << card;
        }
        return cards;
    }

    // Starts every card at once; false when one did not come up.
    bool start(const QList<RackCard>& cards)
    {
        cards_ = cards;
        for (const RackCard& card : cards) {
            processes_.push_back(std::make_unique<SimulatedCardProcess>(ws_, card.name));
            QStringList options = card.options;
            options << QStringLiteral("--serial") << card.serial;
            if (card.avm)
                options << QStringLiteral("--card") << QStringLiteral("avm");
            processes_.back()->launch(options);
        }
        bool ready = true;
        for (const auto& process : processes_)
            ready = process->ready() && ready;
        return ready;
    }

    // The inventory of the rack: name, port, kind, serial and groups of each card.
    QString writeInventory(const QString& path) const
    {
        quillon::Inventory inventory;
        for (int i = 0; i < cards_.size(); ++i) {
            quillon::InventoryCard card;
            card.name = cards_[i].name;
            card.port = processes_[std::size_t(i)]->device;
            card.kind = cards_[i].avm ? quillon::CardType::AVM : quillon::CardType::SID;
            card.serial = cards_[i].serial;
            card.groups = cards_[i].groups;
            if (const QString problem = inventory.put(card); !problem.isEmpty())
                return problem;
        }
        return quillon::writeInventory(path, inventory);
    }

    int size() const { return int(processes_.size()); }
    const RackCard& card(int i) const { return cards_[i]; }
    SimulatedCardProcess& process(int i) { return *processes_[std::size_t(i)]; }

private:
    const Workspace& ws_;
    QList<RackCard> cards_;
    std::vector<std::unique_ptr<SimulatedCardProcess>> processes_;
};

} // namespace e2e
