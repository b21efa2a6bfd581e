// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../setup/cardtype.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// One card of the facility as the inventory names it.
struct InventoryCard {
    QString name;
    QString port;                 // any port name the program takes: a device, ComN, a network port
    std::optional<CardType> kind; // not known until the card has been asked
    QString serial;               // 10 upper-case hexadecimal digits, or empty when not known
    QStringList groups;
    QString reference;            // a set-up file; relative to the inventory's folder unless absolute
    QString location;             // free text
    int line = 0;                 // the line of its [NAME] in the file, from 1

    bool inGroup(const QString& group) const;
};

// An entry of the file that was skipped, or a line that means nothing, and why.
struct InventoryProblem {
    int line = 0;
    QString text;
    QString describe() const; // "line 12: ..."
};

// The card inventory: a text file the engineer edits and keeps in version control, one section
// a card:
//
//     # Studio 3
//     [Studio 3 A]
//     port = /dev/serial/by-id/usb-FTDI_FT232R_A10K3XQ-if00-port0
//     kind = SID
//     serial = 4B58343031
//     groups = studio3, night
//     reference = setups/studio3.kxd
//     location = Rack 3, slot 2
//
// Keys are matched without regard to letter case; unknown keys, comments, blank lines and the
// order of everything are kept when the file is rewritten, and so are entries that were
// skipped. An entry with a fault is reported with its line and skipped; nothing in the text
// can make reading fail.
class Inventory {
public:
    static constexpr qsizetype MaxBytes = 1024 * 1024;
    static constexpr qsizetype MaxLineBytes = 4096;
    static constexpr int MaxCards = 4096;
    static constexpr int MaxProblems = 100; // reported; the rest are counted

    static Inventory parse(const QByteArray& text);

    // The valid cards, in the order of the file.
    const QList<InventoryCard>& cards() const { return cards_; }
    // What was skipped and why, in the order of the file.
    const QList<InventoryProblem>& problems() const { return problems_; }
    // Problems found beyond the MaxProblems reported.
    int moreProblems() const { return moreProblems_; }
    // The valid card of that name (letter case aside), or nullptr.
    const InventoryCard* find(const QString& name) const;
    // The line of the section of that name, valid or not; 0 when there is none.
    int sectionLine(const QString& name) const;

    // Adds a card at the end, or rewrites the known keys of the valid card of that name in
    // place (unknown keys and comments stay). Returns why it could not: the card has a fault,
    // or an entry of that name was skipped and must be mended by hand first.
    QString put(const InventoryCard& card);
    // Removes every section of that name, with the comment right above it; returns how many.
    int remove(const QString& name);

    QByteArray text() const;

private:
    // A section of the file: a card's [NAME] and the lines up to the next one.
    struct Section {
        static constexpr int KeyCount = 6; // port, kind, serial, groups, reference, location
        QString name;
        int header = 0;         // index in lines_
        int end = 0;            // index of the next section's header, or the number of lines
        bool valid = false;
        int keyLines[KeyCount]; // index of each known key's line, -1 when absent
        int lastEntry = 0;      // the last line of the section that is not blank nor a comment
    };
    struct Reader;
    void reparse();
    QList<int> sectionRange(int index) const; // first line, end line (exclusive)
    void updateSection(const Section& section, const InventoryCard& card);

    QList<QByteArray> lines_; // without their line ends
    bool crlf_ = false;       // a file written on Windows keeps its line ends
    bool bom_ = false;
    QList<Section> sections_;
    QList<InventoryCard> cards_;
    QList<InventoryProblem> problems_;
    int moreProblems_ = 0;
};

// Why a card cannot be kept in the inventory as it is; empty when it can.
QString inventoryCardProblem(const InventoryCard& card);
// The kind a text names ("SID", "avm"), or nothing.
std::optional<CardType> cardTypeFromText(const QString& text);
// A serial of 10 hexadecimal digits in upper case, or nothing.
std::optional<QString> normalisedSerial(const QString& text);

// Where the inventory is kept unless --inventory names a file: cards.ini in the settings
// folder ($XDG_CONFIG_HOME/Quillon/cards.ini, so ~/.config/Quillon/cards.ini on Linux).
QString defaultInventoryPath();

// The inventory in a file, as far as it could be read.
struct InventoryFile {
    QString path;
    Inventory inventory;
    bool exists = false; // a missing file is an empty inventory, not an error
    QString error;       // the file could not be read at all: nothing in it is used
    bool ok() const { return error.isEmpty(); }
};

// Reads at most Inventory::MaxBytes; a device, pipe or folder is never opened.
InventoryFile readInventory(const QString& path);
// Writes the whole file anew beside the old one and puts it in its place (following a link to
// the file), making the folder when needed; returns why it could not, empty when written.
QString writeInventory(const QString& path, const Inventory& inventory);
// The absolute path of a card's reference set-up file; empty when it has none.
QString referencePath(const InventoryCard& card, const QString& inventoryPath);

} // namespace quillon
