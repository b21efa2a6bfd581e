// SPDX-License-Identifier: GPL-3.0-or-later
#include "inventory.h"

#include "fleetports.h"

#include "../../files/setupnames.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace quillon {

namespace {

constexpr int MaxNameLength = 64;
constexpr int MaxGroupLength = 32;
constexpr int MaxGroups = 32;
constexpr int MaxTextLength = 1024; // a reference's path, a location

// The keys the program reads and writes, in the order it writes them.
enum Key { Port, Kind, Serial, Groups, Reference, Location, KeyCount };
constexpr std::array<QLatin1StringView, KeyCount> KeyNames = {
    QLatin1StringView("port"),   QLatin1StringView("kind"),      QLatin1StringView("serial"),
    QLatin1StringView("groups"), QLatin1StringView("reference"), QLatin1StringView("location")};

const QByteArray Bom("\xEF\xBB\xBF");
const QByteArray NewFileHeader(
    "# Quillon card inventory: one [NAME] section a card, with the keys\n"
    "# port, kind (SID or AVM), serial (10 hexadecimal digits), groups (separated by commas),\n"
    "# reference (a set-up file, relative to this folder) and location.");

int keyIndex(const QString& key)
{
    for (int k = 0; k < KeyCount; ++k) {
        if (key.compare(KeyNames[k], Qt::CaseInsensitive) == 0)
            return k;
    }
    return -1;
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

bool isComment(const QString& trimmed)
{
    return trimmed.startsWith(u'#') || trimmed.startsWith(u';');
}

// The line as text; nothing when it is not UTF-8.
std::optional<QString> decodeLine(const QByteArray& line)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(line);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString nameProblem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("a card needs a name");
    if (name.size() > MaxNameLength)
        return QStringLiteral("the name \"%1\" is longer than %2 characters").arg(name.left(MaxNameLength), QString::number(MaxNameLength));
    if (hasControlCharacter(name) || name.contains(u'[') || name.contains(u']') || name != name.trimmed()
        || isComment(name))
        return QStringLiteral("the name \"%1\" may not hold [ or ], control characters or blanks at its "
                              "ends, nor start with # or ;").arg(name.simplified());
    return {};
}

QString groupProblem(const QString& group)
{
    if (group.isEmpty())
        return QStringLiteral("a group has no name");
    if (group.size() > MaxGroupLength || hasControlCharacter(group) || group.contains(u',') || group != group.trimmed())
        return QStringLiteral("the group \"%1\" is not a name of at most %2 characters without commas")
            .arg(group.simplified().left(MaxGroupLength), QString::number(MaxGroupLength));
    return {};
}

QString textProblem(const char* what, const QString& text)
{
    if (text.size() > MaxTextLength || hasControlCharacter(text))
        return QStringLiteral("the %1 is longer than %2 characters or holds control characters")
            .arg(QLatin1String(what), QString::number(MaxTextLength));
    return {};
}

// A reference's name tells its kind as any set-up file's does.
QString referenceKindProblem(const InventoryCard& card)
{
    if (card.reference.isEmpty() || !card.kind || setupKindFromName(card.reference) == *card.kind)
        return {};
    return QStringLiteral("the reference \"%1\" is %2 set-up (its name %3), but the card is %4 card")
        .arg(card.reference, *card.kind == CardType::AVM ? QStringLiteral("a SID") : QStringLiteral("an AVM"),
             *card.kind == CardType::AVM ? QStringLiteral("does not end in \"m\"") : QStringLiteral("ends in \"m\""),
             *card.kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"));
}

// Reads one known key's value into the card; returns why it cannot.
QString readValue(InventoryCard& card, int key, const QString& value)
{
    switch (key) {
    case Port:
        card.port = value;
        return portNameProblem(value);
    case Kind:
        card.kind = cardTypeFromText(value);
        return card.kind || value.isEmpty() ? QString() : QStringLiteral("the kind \"%1\" is neither SID nor AVM").arg(value);
    case Serial:
        card.serial = normalisedSerial(value).value_or(QString());
        return !card.serial.isEmpty() || value.isEmpty()
            ? QString() : QStringLiteral("the serial \"%1\" is not 10 hexadecimal digits, such as 4B58343031").arg(value);
    case Groups:
        for (const QString& group : value.split(u',', Qt::SkipEmptyParts)) {
            if (!group.trimmed().isEmpty())
                card.groups << group.trimmed();
        }
        for (const QString& group : std::as_const(card.groups)) {
            if (const QString problem = groupProblem(group); !problem.isEmpty())
                return problem;
        }
        return card.groups.size() > MaxGroups ? QStringLiteral("a card is in at most %1 groups").arg(MaxGroups) : QString();
    case Reference:
        card.reference = value;
        return textProblem("reference", value);
    case Location:
        card.location = value;
        return textProblem("location", value);
    }
    return {};
}

QString valueText(const InventoryCard& card, int key)
{
    switch (key) {
    case Port:
        return card.port;
    case Kind:
        return card.kind ? cardTypeName(*card.kind) : QString();
    case Serial:
        return card.serial;
    case Groups:
        return card.groups.join(QStringLiteral(", "));
    case Reference:
        return card.reference;
    case Location:
        return card.location;
    }
    return {};
}

QByteArray keyLine(const QString& key, const QString& value)
{
    return (key + QStringLiteral(" = ") + value.trimmed()).toUtf8();
}

} // namespace

bool InventoryCard::inGroup(const QString& group) const
{
    return groups.contains(group, Qt::CaseInsensitive);
}

QString InventoryProblem::describe() const
{
    return QStringLiteral("line %1: %2").arg(QString::number(line), text);
}

std::optional<CardType> cardTypeFromText(const QString& text)
{
    if (text.compare(QLatin1String("SID"), Qt::CaseInsensitive) == 0)
        return CardType::SID;
    if (text.compare(QLatin1String("AVM"), Qt::CaseInsensitive) == 0)
        return CardType::AVM;
    return std::nullopt;
}

std::optional<QString> normalisedSerial(const QString& text)
{
    static const QRegularExpression hex10(QStringLiteral("^[0-9A-Fa-f]{10}$"));
    if (!hex10.match(text).hasMatch())
        return std::nullopt;
    return text.toUpper();
}

QString inventoryCardProblem(const InventoryCard& card)
{
    QString problem = nameProblem(card.name);
    if (problem.isEmpty())
        problem = portNameProblem(card.port);
    if (problem.isEmpty() && !card.serial.isEmpty() && normalisedSerial(card.serial) != card.serial)
        problem = QStringLiteral("the serial \"%1\" is not 10 upper-case hexadecimal digits, such as 4B58343031").arg(card.serial);
    if (problem.isEmpty() && card.groups.size() > MaxGroups)
        problem = QStringLiteral("a card is in at most %1 groups").arg(MaxGroups);
    for (const QString& group : card.groups) {
        if (problem.isEmpty())
            problem = groupProblem(group);
    }
    if (problem.isEmpty())
        problem = textProblem("reference", card.reference);
    if (problem.isEmpty())
        problem = textProblem("location", card.location);
    if (problem.isEmpty())
        problem = referenceKindProblem(card);
    return problem;
}

Inventory Inventory::parse(const QByteArray& text)
{
    static_assert(Section::KeyCount == KeyCount);
    Inventory inventory;
    QByteArray body = text;
    if (body.startsWith(Bom)) {
        inventory.bom_ = true;
        body.remove(0, Bom.size());
    }
    inventory.lines_ = body.split('\n');
    if (inventory.lines_.constLast().isEmpty())
        inventory.lines_.removeLast(); // the end of the last line
    inventory.crlf_ = !inventory.lines_.isEmpty() && inventory.lines_.constFirst().endsWith('\r');
    for (QByteArray& line : inventory.lines_) {
        while (line.endsWith('\r')) // as many as there are, so that a rewrite reads the same
            line.chop(1);
    }
    inventory.reparse();
    return inventory;
}

// Reads the lines of an inventory into its sections, cards and problems. Each section ends at
// the next line that starts with "["; a fault in it skips its card and the rest of its lines.
struct Inventory::Reader {
    Inventory& inventory;
    QHash<QString, int> seen; // names in lower case -> their lines
    InventoryCard card;       // of the open section
    QString fault;            // the first fault of the open section
    int faultLine = 0;

    void report(int line, const QString& text)
    {
        if (inventory.problems_.size() < MaxProblems)
            inventory.problems_.append({line, text});
        else
            ++inventory.moreProblems_;
    }

    void faultAt(int line, const QString& why)
    {
        if (fault.isEmpty())
            std::tie(fault, faultLine) = std::pair(why, line);
    }

    void closeSection(int end)
    {
        if (inventory.sections_.isEmpty())
            return;
        Section& section = inventory.sections_.last();
        section.end = end;
        if (card.port.isEmpty())
            faultAt(card.line, QStringLiteral("it has no port, such as port = /dev/ttyUSB0"));
        faultAt(card.line, referenceKindProblem(card));
        section.valid = fault.isEmpty();
        if (section.valid)
            inventory.cards_.append(card);
        else
            report(faultLine, QStringLiteral("card \"%1\" skipped: %2").arg(section.name, fault));
    }

    void header(int index, const QString& text)
    {
        closeSection(index);
        const int line = index + 1;
        Section section;
        section.header = section.lastEntry = index;
        std::fill(std::begin(section.keyLines), std::end(section.keyLines), -1);
        section.name = (text.endsWith(u']') ? text.mid(1, text.size() - 2) : text.mid(1)).trimmed();
        inventory.sections_.append(section);
        card = InventoryCard{};
        card.name = section.name;
        card.line = line;
        fault.clear();
        if (!text.endsWith(u']'))
            faultAt(line, QStringLiteral("a card's name goes between [ and ], such as [Studio 3 A]"));
        faultAt(line, nameProblem(section.name));
        const auto earlier = seen.constFind(section.name.toLower());
        if (earlier != seen.constEnd())
            faultAt(line, QStringLiteral("a card of that name is on line %1").arg(*earlier));
        else
            seen.insert(section.name.toLower(), line);
        if (seen.size() > MaxCards)
            faultAt(line, QStringLiteral("an inventory holds at most %1 cards").arg(MaxCards));
    }

    // A line that is neither blank, a comment nor a header; text is empty when it is not UTF-8.
    void entry(int index, bool utf8, const QString& text)
    {
        const int line = index + 1;
        if (inventory.sections_.isEmpty()) {
            report(line, utf8 ? QStringLiteral("\"%1\" is outside of a card's section; a card starts with its name "
                                               "in brackets, such as [Studio 3 A]").arg(text.left(40))
                              : QStringLiteral("the line is not UTF-8 text"));
            return;
        }
        Section& section = inventory.sections_.last();
        section.lastEntry = index;
        if (!fault.isEmpty())
            return;
        if (inventory.lines_[index].size() > MaxLineBytes)
            return faultAt(line, QStringLiteral("the line is longer than %1 bytes").arg(MaxLineBytes));
        if (!utf8)
            return faultAt(line, QStringLiteral("the line is not UTF-8 text"));
        const qsizetype equals = text.indexOf(u'=');
        const QString key = text.left(std::max<qsizetype>(equals, 0)).trimmed();
        if (equals < 0 || key.isEmpty())
            return faultAt(line, QStringLiteral("\"%1\" is not KEY = VALUE").arg(text.left(40)));
        const int known = keyIndex(key);
        if (known < 0)
            return; // kept as it is, for whoever wrote it
        if (section.keyLines[known] >= 0) {
            return faultAt(line, QStringLiteral("%1 is given twice (also on line %2)")
                                     .arg(KeyNames[known], QString::number(section.keyLines[known] + 1)));
        }
        section.keyLines[known] = index;
        faultAt(line, readValue(card, known, text.mid(equals + 1).trimmed()));
    }
};

void Inventory::reparse()
{
    sections_.clear();
    cards_.clear();
    problems_.clear();
    moreProblems_ = 0;
    Reader reader{*this, {}, {}, {}, 0};
    for (int i = 0; i < lines_.size(); ++i) {
        const std::optional<QString> decoded = decodeLine(lines_[i]);
        const QString text = decoded.value_or(QString()).trimmed();
        if (decoded && (text.isEmpty() || isComment(text)))
            continue;
        if (decoded && text.startsWith(u'['))
            reader.header(i, text);
        else
            reader.entry(i, decoded.has_value(), text);
    }
    reader.closeSection(int(lines_.size()));
}

const InventoryCard* Inventory::find(const QString& name) const
{
    const auto it = std::find_if(cards_.begin(), cards_.end(),
                                 [&](const InventoryCard& c) { return c.name.compare(name, Qt::CaseInsensitive) == 0; });
    return it == cards_.end() ? nullptr : &*it;
}

int Inventory::sectionLine(const QString& name) const
{
    for (const Section& section : sections_) {
        if (section.name.compare(name, Qt::CaseInsensitive) == 0)
            return section.header + 1;
    }
    return 0;
}

QString Inventory::put(const InventoryCard& card)
{
    const QString problem = inventoryCardProblem(card);
    if (!problem.isEmpty())
        return problem;
    const auto section = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) {
        return s.name.compare(card.name, Qt::CaseInsensitive) == 0;
    });
    if (section != sections_.end()) {
        if (!section->valid)
            return QStringLiteral("the entry \"%1\" on line %2 was skipped; mend it in the file first")
                .arg(section->name, QString::number(section->header + 1));
        updateSection(*section, card);
        reparse();
        return {};
    }
    if (lines_.isEmpty())
        lines_ = NewFileHeader.split('\n');
    if (!lines_.constLast().trimmed().isEmpty())
        lines_.append(QByteArray());
    lines_.append(QByteArray("[") + card.name.toUtf8() + ']');
    for (int k = 0; k < KeyCount; ++k) {
        const QString value = valueText(card, k).trimmed();
        if (!value.isEmpty())
            lines_.append(keyLine(KeyNames[k], value));
    }
    reparse();
    return {};
}

// Rewrites the known keys' lines of a valid section: a changed value in place under the key's
// own spelling, an emptied one dropped, a new one after the section's last entry.
void Inventory::updateSection(const Section& section, const InventoryCard& card)
{
    QList<QByteArray> rewritten;
    for (int i = section.header; i < section.end; ++i) {
        const int key = int(std::find(std::begin(section.keyLines), std::end(section.keyLines), i) - std::begin(section.keyLines));
        if (key < KeyCount) {
            const QString value = valueText(card, key).trimmed();
            const QString spelling = QString::fromUtf8(lines_[i]).section(u'=', 0, 0).trimmed();
            if (!value.isEmpty())
                rewritten.append(keyLine(spelling, value));
        } else {
            rewritten.append(lines_[i]);
        }
        if (i != section.lastEntry)
            continue;
        for (int k = 0; k < KeyCount; ++k) {
            const QString value = valueText(card, k).trimmed();
            if (section.keyLines[k] < 0 && !value.isEmpty())
                rewritten.append(keyLine(KeyNames[k], value));
        }
    }
    lines_.remove(section.header, section.end - section.header);
    for (qsizetype n = 0; n < rewritten.size(); ++n)
        lines_.insert(section.header + n, rewritten[n]);
}

// A section with the comment lines right above its header (no blank line between), up to the
// next section's.
QList<int> Inventory::sectionRange(int index) const
{
    const auto start = [this](int s) {
        int first = sections_[s].header;
        const int floor = s > 0 ? sections_[s - 1].lastEntry + 1 : 0;
        while (first > floor && isComment(QString::fromUtf8(lines_[first - 1]).trimmed()))
            --first;
        return first;
    };
    return {start(index), index + 1 < sections_.size() ? start(index + 1) : int(lines_.size())};
}

int Inventory::remove(const QString& name)
{
    // Every range is taken before any line goes: a range reaches to the next section's start.
    QList<QList<int>> ranges;
    for (int s = 0; s < sections_.size(); ++s) {
        if (sections_[s].name.compare(name, Qt::CaseInsensitive) == 0)
            ranges.append(sectionRange(s));
    }
    for (auto range = ranges.crbegin(); range != ranges.crend(); ++range) {
        const int at = range->at(0);
        lines_.remove(at, range->at(1) - at);
        // No double blank line where the section was.
        if (at > 0 && at < lines_.size() && lines_[at - 1].trimmed().isEmpty() && lines_[at].trimmed().isEmpty())
            lines_.removeAt(at);
    }
    while (!lines_.isEmpty() && lines_.constLast().trimmed().isEmpty())
        lines_.removeLast();
    reparse();
    return int(ranges.size());
}

QByteArray Inventory::text() const
{
    if (lines_.isEmpty())
        return {};
    const QByteArray end = crlf_ ? QByteArray("\r\n") : QByteArray("\n");
    return (bom_ ? Bom : QByteArray()) + lines_.join(end) + end;
}

} // namespace quillon
