// SPDX-License-Identifier: GPL-3.0-or-later
#include "setupcompare.h"

#include "setupimage.h"

#include <algorithm>

namespace quillon {

const QStringList& settingsWindowsInOrder()
{
    static const QStringList windows{"audioSettingsWindow", "sourceIdSettingsWindow", "onScreenSettingsWindow",
                                     "colourSettingsWindow", "controlSettingsWindow"};
    return windows;
}

QList<Field> fieldsInWindowOrder()
{
    QList<Field> fields;
    for (const QString& window : settingsWindowsInOrder()) {
        for (const FieldInfo& info : allFields()) {
            if (QLatin1String(info.window) == window)
                fields << info.field;
        }
    }
    return fields;
}

QString settingText(const SetupValues& values, Field f)
{
    switch (fieldInfo(f).kind) {
    case FieldKind::Choice: {
        const int index = values.choice(f);
        return index < 0 ? QStringLiteral("(none)") : choiceText(f, index);
    }
    case FieldKind::Option:
        return values.option(f) ? QStringLiteral("on") : QStringLiteral("off");
    case FieldKind::Check: {
        const int state = values.check(f);
        return state == 1 ? QStringLiteral("checked")
                          : state == 2 ? QStringLiteral("grey") : QStringLiteral("unchecked");
    }
    case FieldKind::Level:
        return QString::number(values.level(f));
    case FieldKind::Number:
    case FieldKind::Text:
        return u'"' + values.text(f) + u'"';
    }
    return QString();
}

ComparedSetup comparedSetupOf(const HeldSetup& held)
{
    ComparedSetup setup;
    setup.kind = held.loadedCardType;
    setup.values = held.fields.values();
    setup.image = held.setupImage;
    return setup;
}

ComparedSetup comparedSetupOfImage(const QByteArray& image, const SetupValues& base)
{
    ComparedSetup setup;
    if (image.size() > SidImageSize) {
        setup.kind = CardType::AVM;
        setup.image = image;
    } else {
        setup.values = decodeSidImage(image, base);
    }
    return setup;
}

namespace {

QString byteText(const QByteArray& image, int offset)
{
    return offset < image.size() ? QStringLiteral("0x%1").arg(quint8(image.at(offset)), 2, 16, QLatin1Char('0'))
                                 : QStringLiteral("--");
}

QList<SetupDifference> settingDifferences(const SetupValues& mine, const SetupValues& other)
{
    QList<SetupDifference> differences;
    for (Field f : fieldsInWindowOrder()) {
        // The file's form of a value tells every difference apart, the grey check box included.
        if (mine.displayValue(f) == other.displayValue(f))
            continue;
        const FieldInfo& info = fieldInfo(f);
        SetupDifference d;
        d.field = f;
        d.windowCaption = windowCaption(info.window);
        d.settingCaption = info.caption;
        d.thisValue = settingText(mine, f);
        d.otherValue = settingText(other, f);
        differences << d;
    }
    return differences;
}

QList<SetupDifference> byteDifferences(const QByteArray& mine, const QByteArray& other)
{
    QList<SetupDifference> differences;
    const int length = int(std::max(mine.size(), other.size()));
    for (int offset = 0; offset < length; ++offset) {
        const QString a = byteText(mine, offset);
        const QString b = byteText(other, offset);
        if (a == b)
            continue;
        SetupDifference d;
        d.offset = offset;
        d.thisValue = a;
        d.otherValue = b;
        differences << d;
    }
    return differences;
}

} // namespace

SetupComparison compareSetups(const ComparedSetup& mine, const ComparedSetup& other)
{
    SetupComparison comparison;
    comparison.kind = mine.kind;
    if (mine.kind != other.kind) {
        comparison.refusal = QStringLiteral("A SID set-up and an AVM set-up do not compare: a SID card's "
                                            "settings and an AVM card's image have nothing in common.");
        return comparison;
    }
    comparison.differences = mine.kind == CardType::SID ? settingDifferences(mine.values, other.values)
                                                        : byteDifferences(mine.image, other.image);
    return comparison;
}

void takeSetting(SetupValues& mine, const SetupValues& other, Field f)
{
    switch (fieldInfo(f).kind) {
    case FieldKind::Choice: mine.setChoice(f, other.choice(f)); break;
    case FieldKind::Option: mine.setOption(f, other.option(f)); break;
    case FieldKind::Check: mine.setCheck(f, other.check(f)); break;
    case FieldKind::Number:
    case FieldKind::Text: mine.setText(f, other.text(f)); break;
    case FieldKind::Level: mine.setLevel(f, other.level(f)); break;
    }
}

QString differenceLine(const SetupDifference& difference)
{
    if (difference.isByte()) {
        return QStringLiteral("byte 0x%1: %2 -> %3")
            .arg(QString::number(difference.offset, 16).rightJustified(2, u'0'), difference.thisValue,
                 difference.otherValue);
    }
    return QStringLiteral("%1 / %2: %3 -> %4")
        .arg(difference.windowCaption, difference.settingCaption, difference.thisValue, difference.otherValue);
}

QString differenceCount(const SetupComparison& comparison)
{
    const auto n = comparison.differences.size();
    if (comparison.kind == CardType::AVM)
        return n == 1 ? QStringLiteral("1 byte differs") : QStringLiteral("%1 bytes differ").arg(n);
    return n == 1 ? QStringLiteral("1 setting differs") : QStringLiteral("%1 settings differ").arg(n);
}

} // namespace quillon
