// SPDX-License-Identifier: GPL-3.0-or-later
// The card inventory as an engineer's text editor, a bad merge or a stray file may leave it.

#include "fuzzentries.h"

#include "app/core/inventory.h"

#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

namespace {

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "inventory: %s\n", what);
    std::abort();
}

bool sameCard(const InventoryCard& a, const InventoryCard& b)
{
    return a.name == b.name && a.port == b.port && a.kind == b.kind && a.serial == b.serial && a.groups == b.groups
        && a.reference == b.reference && a.location == b.location;
}

bool sameCards(const QList<InventoryCard>& a, const QList<InventoryCard>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameCard);
}

} // namespace

int inventoryFile(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(std::min<std::size_t>(size, Inventory::MaxBytes)));
    Inventory inventory = Inventory::parse(text);
    if (inventory.cards().size() > Inventory::MaxCards || inventory.problems().size() > Inventory::MaxProblems)
        violated("more cards or problems than the bounds");
    // Written back, the file reads as the same cards and writes as the same text.
    const QByteArray written = inventory.text();
    const Inventory again = Inventory::parse(written);
    if (again.text() != written || !sameCards(again.cards(), inventory.cards()))
        violated("a rewritten inventory does not read back as what was written");
    if (inventory.cards().isEmpty())
        return 0;
    // The first card edited, then removed: the other cards stay as they were.
    InventoryCard first = inventory.cards().first();
    const QList<InventoryCard> others = inventory.cards().mid(1);
    first.location = QStringLiteral("Rack 9");
    first.groups.append(QStringLiteral("fuzz"));
    if (!inventory.put(first).isEmpty())
        violated("a card read from the file cannot be written back");
    const Inventory edited = Inventory::parse(inventory.text());
    const InventoryCard* found = edited.find(first.name);
    if (!found || !sameCard(*found, first) || !sameCards(edited.cards().mid(1), others))
        violated("an edited card does not read back as edited, or another card changed");
    if (inventory.remove(first.name) < 1 || !sameCards(Inventory::parse(inventory.text()).cards(), others))
        violated("removing a card changed the others");
    return 0;
}

} // namespace quillon::fuzz
