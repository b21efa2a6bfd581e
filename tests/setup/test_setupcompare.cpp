// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/setupcompare.h"
#include "setup/setupimage.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

ComparedSetup sid(const SetupValues& values)
{
    ComparedSetup setup;
    setup.values = values;
    return setup;
}

ComparedSetup avm(const QByteArray& image)
{
    ComparedSetup setup;
    setup.kind = CardType::AVM;
    setup.image = image;
    return setup;
}

// Every one of the 68 settings changed at once.
SetupValues everythingChanged(const SetupValues& base)
{
    SetupValues v = base;
    for (const FieldInfo& info : allFields()) {
        const Field f = info.field;
        switch (info.kind) {
        case FieldKind::Choice:
            if (f != Field::VideoStandard) // choosing a standard resets the SID lines
                v.setChoice(f, base.choice(f) == 0 ? 1 : 0);
            break;
        case FieldKind::Option:
            v.setOption(f, !base.option(f));
            if (base.option(info.partner) == base.option(f))
                v.setOption(info.partner, !base.option(info.partner));
            break;
        case FieldKind::Check: v.setCheck(f, base.check(f) == 1 ? 0 : 1); break;
        case FieldKind::Number:
        case FieldKind::Text: v.setText(f, base.text(f) + u'1'); break;
        case FieldKind::Level: v.setLevel(f, base.level(f) == info.range.min ? info.range.max : info.range.min); break;
        }
    }
    SetupValues standard = v;
    standard.setChoice(Field::VideoStandard, base.choice(Field::VideoStandard) == 0 ? 1 : 0);
    for (Field line : {Field::SidLine525Vitc, Field::SidLine525Pesa, Field::SidLine625Vitc, Field::SidLine625Pesa})
        standard.setText(line, v.text(line));
    return standard;
}

} // namespace

TEST(SetupComparison, everySettingOfEveryWindowShowsInTheOrderOfTheWindows)
{
    const SetupValues defaults = defaultSetupValues();
    const SetupComparison same = compareSetups(sid(defaults), sid(defaults));
    EXPECT_TRUE(same.comparable());
    EXPECT_TRUE(same.differences.isEmpty());
    EXPECT_EQ(differenceCount(same), "0 settings differ");

    const SetupComparison all = compareSetups(sid(defaults), sid(everythingChanged(defaults)));
    ASSERT_EQ(all.differences.size(), FieldCount);
    EXPECT_EQ(differenceCount(all), "68 settings differ");
    QStringList windows;
    for (const SetupDifference& d : all.differences) {
        EXPECT_FALSE(d.isByte());
        EXPECT_EQ(d.windowCaption, windowCaption(fieldInfo(d.field).window));
        EXPECT_EQ(d.settingCaption, fieldInfo(d.field).caption);
        EXPECT_NE(d.thisValue, d.otherValue) << fieldInfo(d.field).name;
        if (windows.isEmpty() || windows.last() != d.windowCaption)
            windows << d.windowCaption;
    }
    EXPECT_EQ(windows, QStringList({"Set-up Audio", "Set-up Source ID", "Set-up Windows", "Set-up Colors",
                                    "Set-up Controls"}));
}

TEST(SetupComparison, aDifferenceReadsAsWindowSettingAndBothValues)
{
    const SetupValues defaults = defaultSetupValues();
    const struct {
        std::function<void(SetupValues&)> change;
        QStringList lines;
    } rows[] = {
        {[](SetupValues& v) { v.setChoice(Field::PeakLevel, 12); },
         {"Set-up Audio / Level: Peak Analog: 14dBu  -10dB -> 12dBu  -12dB"}},
        {[](SetupValues& v) { v.setOption(Field::OutputMono, true); },
         {"Set-up Audio / Output Mode: Stereo: on -> off", "Set-up Audio / Output Mode: Mono: off -> on"}},
        {[](SetupValues& v) { v.setCheck(Field::Gpi2Blink, 2); },
         {"Set-up Controls / Program GPI #2: Blink MSG/SID: unchecked -> grey"}},
        {[](SetupValues& v) { v.setText(Field::MissingSidMessage, ""); },
         {"Set-up Windows / SID Window: Missing SID Message: \"NO AVM\" -> \"\""}},
        {[](SetupValues& v) { v.setLevel(Field::Grey2, 0); v.setText(Field::FineAdjustA2, "-5"); },
         {"Set-up Audio / Fine Channel Adjust: A2 (left): \"0\" -> \"-5\"",
          QStringLiteral("Set-up Colors / Grey 2 (red, error): %1 -> 0").arg(defaults.level(Field::Grey2))}},
    };
    for (const auto& row : rows) {
        SetupValues other = defaults;
        row.change(other);
        QStringList lines;
        for (const SetupDifference& d : compareSetups(sid(defaults), sid(other)).differences)
            lines << differenceLine(d);
        EXPECT_EQ(lines, row.lines);
    }
}

TEST(SetupComparison, avmImagesCompareByteByByteAndASidSetupDoesNotCompareWithThem)
{
    QByteArray mine(150, '\x33');
    mine[0] = 24;
    mine[1] = 2;
    QByteArray other = mine;
    other[0] = 25;
    other[1] = 3;
    other[0x7f] = '\xff';
    other.append('\x01');

    const SetupComparison bytes = compareSetups(avm(mine), avm(other));
    ASSERT_TRUE(bytes.comparable());
    QStringList lines;
    for (const SetupDifference& d : bytes.differences)
        lines << differenceLine(d);
    EXPECT_EQ(lines, QStringList({"byte 0x00: 0x18 -> 0x19", "byte 0x01: 0x02 -> 0x03", "byte 0x7f: 0x33 -> 0xff",
                                  "byte 0x96: -- -> 0x01"}));
    EXPECT_EQ(bytes.differences[2].offset, 0x7f);
    EXPECT_EQ(differenceCount(bytes), "4 bytes differ");
    EXPECT_EQ(differenceCount(compareSetups(avm(mine), avm(mine))), "0 bytes differ");

    for (const auto& [a, b] : {std::pair{sid(defaultSetupValues()), avm(mine)}, std::pair{avm(mine), sid(defaultSetupValues())}}) {
        const SetupComparison mixed = compareSetups(a, b);
        EXPECT_FALSE(mixed.comparable());
        EXPECT_TRUE(mixed.refusal.contains("A SID set-up and an AVM set-up do not compare"));
        EXPECT_TRUE(mixed.differences.isEmpty());
    }
}
