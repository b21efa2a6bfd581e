// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/cardsetup.h"
#include "setup/setupimage.h"
#include "setupprinters.h"

#include <gtest/gtest.h>
#include <QMap>
#include <QSet>

using namespace quillon;

TEST(FieldTable, holdsSixtyEightDistinctFieldsSpreadOverTheFiveWindows)
{
    QSet<QString> names;
    QMap<QString, int> perForm;
    for (int i = 0; i < FieldCount; ++i) {
        const FieldInfo& info = allFields()[i];
        EXPECT_EQ(indexOf(info.field), i);
        names.insert(QString::fromLatin1(info.name));
        perForm[QString::fromLatin1(info.window)]++;
        EXPECT_TRUE(QString::fromLatin1(info.name).startsWith(QString::fromLatin1(info.window) + '.'));
        EXPECT_FALSE(info.caption.isEmpty());
        if (info.kind == FieldKind::Option) {
            EXPECT_NE(info.partner, info.field) << info.name;
            EXPECT_EQ(fieldInfo(info.partner).partner, info.field) << info.name;
        }
    }
    EXPECT_EQ(names.size(), FieldCount);
    EXPECT_EQ(perForm["audioSettingsWindow"], 12);
    EXPECT_EQ(perForm["sourceIdSettingsWindow"], 13);
    EXPECT_EQ(perForm["colourSettingsWindow"], 6);
    EXPECT_EQ(perForm["onScreenSettingsWindow"], 27);
    EXPECT_EQ(perForm["controlSettingsWindow"], 10);
    EXPECT_STREQ(fieldInfo(Field::FineAdjustChannel1).name, "audioSettingsWindow.fineAdjustChannel1");
    EXPECT_STREQ(fieldInfo(Field::Grey2).name, "colourSettingsWindow.grey2");
    EXPECT_EQ(windowCaption("sourceIdSettingsWindow"), "Set-up Source ID");
}

TEST(FieldTable, levelItemsRunFrom24dBuDownTo0dBu)
{
    const QStringList& items = fieldInfo(Field::PeakLevel).items;
    ASSERT_EQ(items.size(), 25);
    EXPECT_EQ(items[0], "24dBu  0dB");
    EXPECT_EQ(items[1], "23dBu  -1dB");
    EXPECT_EQ(items[10], "14dBu  -10dB");
    EXPECT_EQ(items[24], "0dBu  -24dB");
    EXPECT_EQ(fieldInfo(Field::VideoStandard).items, QStringList({"525", "625", "Auto"}));
}

TEST(SetupValuesRules, refusedValuesThrowNamingFieldAndValueAndChangeNothing)
{
    SetupValues v = defaultSetupValues();
    const SetupValues before = v;
    const struct {
        std::function<void()> set;
        const char* field;
        const char* value;
    } rows[] = {
        {[&] { v.setChoice(Field::PeakLevel, 25); }, "\"Level: Peak Analog\" (Set-up Audio)", "25"},
        {[&] { v.setChoice(Field::AudioGroup, -2); }, "\"Group Select\" (Set-up Audio)", "-2"},
        {[&] { v.setCheck(Field::Gpi1DisplayMessage, 3); }, "\"Program GPI #1: Display Message\" (Set-up Controls)", "3"},
        {[&] { v.setLevel(Field::TextBrightness, 119); }, "\"Text Brightness\" (Set-up Colors)", "119"},
        {[&] { v.setLevel(Field::BarBorderBrightness, 236); }, "\"Bar Graph Border Brightness\" (Set-up Colors)", "236"},
        {[&] { v.setLevel(Field::OperatingRegion, 128); }, "\"Operating Region\" (Set-up Colors)", "128"},
        {[&] { v.setLevel(Field::Grey2, -1); }, "\"Grey 2 (red, error)\" (Set-up Colors)", "-1"},
    };
    for (const auto& row : rows) {
        try {
            row.set();
            ADD_FAILURE() << row.field << " took " << row.value;
        } catch (const SetupValueError& e) {
            EXPECT_TRUE(e.message().contains(row.field)) << e.what();
            EXPECT_TRUE(e.message().contains(row.value)) << e.what();
        }
    }
    EXPECT_EQ(v, before);
    v.setChoice(Field::PeakLevel, -1);
    v.setLevel(Field::OperatingRegion, -128);
    v.setText(Field::FineAdjustChannel1, "abc");
    EXPECT_EQ(v.choice(Field::PeakLevel), -1);
    EXPECT_EQ(v.number(Field::FineAdjustChannel1), 0);
}

TEST(SetupValuesRules, settingAnOptionOnClearsItsPartnerButOffClearsOnlyItself)
{
    SetupValues v = defaultSetupValues();
    v.setOption(Field::OutputMono, true);
    EXPECT_TRUE(v.option(Field::OutputMono));
    EXPECT_FALSE(v.option(Field::OutputStereo));
    v.setOption(Field::OutputMono, false);
    EXPECT_FALSE(v.option(Field::OutputMono));
    EXPECT_FALSE(v.option(Field::OutputStereo));
    EXPECT_EQ(v.displayValue(Field::OutputMono), "#FALSE#");
}

TEST(SetupValuesRules, choosingAStandardResetsTheLineNumbersAndSetsTheSpinnerLimits)
{
    SetupValues v;
    EXPECT_EQ(v.spinnerRange(Field::SidLine625Vitc).min, 10);
    EXPECT_EQ(v.spinnerRange(Field::SidLine625Vitc).max, 20);
    v.setText(Field::SidLine625Pesa, "15");
    v.setChoice(Field::VideoStandard, 1);
    EXPECT_EQ(v.text(Field::SidLine525Vitc), "20");
    EXPECT_EQ(v.text(Field::SidLine525Pesa), "21");
    EXPECT_EQ(v.text(Field::SidLine625Vitc), "20");
    EXPECT_EQ(v.text(Field::SidLine625Pesa), "21");
    const Field lines[] = {Field::SidLine525Vitc, Field::SidLine525Pesa, Field::SidLine625Vitc, Field::SidLine625Pesa};
    const Range limits[] = {{10, 32}, {10, 21}, {6, 32}, {7, 22}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v.spinnerRange(lines[i]).min, limits[i].min);
        EXPECT_EQ(v.spinnerRange(lines[i]).max, limits[i].max);
    }
    v.setText(Field::SidLine525Vitc, "5");
    v.setChoice(Field::VideoStandard, 1); // the same item again still counts as a choice
    EXPECT_EQ(v.text(Field::SidLine525Vitc), "20");
}

TEST(SetupValuesRules, the525VitcLineIsHeldTo10To20WhenTheLimitsAreSet)
{
    const struct {
        int standard;
        const char* before;
        const char* after;
    } rows[] = {{0, "25", "20"}, {0, "9", "20"}, {0, "abc", "20"}, {0, "15", "15"},
                {1, "25", "25"}, {2, "9", "9"}, {-1, "30", "30"}};
    for (const auto& row : rows) {
        SetupValues v = defaultSetupValues();
        v.setChoice(Field::VideoStandard, row.standard);
        v.setText(Field::SidLine525Vitc, row.before);
        v.setupSidLines();
        EXPECT_EQ(v.text(Field::SidLine525Vitc), row.after) << row.standard << " " << row.before;
    }
}

TEST(CardSetupModel, aFailedEditChangesNothingAndSignalsNothing)
{
    CardSetup setup;
    loadDefaults(setup);
    int signals = 0;
    QObject::connect(&setup, &CardSetup::fieldChanged, [&] { ++signals; });
    const SetupValues before = setup.values();
    EXPECT_THROW(setup.edit([](SetupValues& v) {
        v.setText(Field::MissingSidMessage, "changed");
        v.setChoice(Field::PeakLevel, 99);
    }),
                 SetupValueError);
    EXPECT_EQ(setup.values(), before);
    EXPECT_EQ(signals, 0);
}

TEST(CardSetupModel, anEditSignalsExactlyTheFieldsWhoseValueChanged)
{
    CardSetup setup;
    loadDefaults(setup);
    QList<Field> changed;
    int rangeSignals = 0;
    QObject::connect(&setup, &CardSetup::fieldChanged, [&](Field f) { changed << f; });
    QObject::connect(&setup, &CardSetup::spinnerRangesChanged, [&] { ++rangeSignals; });
    setup.setOption(Field::OutputMono, true);
    EXPECT_EQ(changed, QList<Field>({Field::OutputStereo, Field::OutputMono}));
    changed.clear();
    setup.setText(Field::SidLine525Vitc, "10"); // same text
    EXPECT_TRUE(changed.isEmpty());
    setup.setChoice(Field::VideoStandard, 0);
    EXPECT_EQ(changed, QList<Field>({Field::VideoStandard, Field::SidLine525Vitc, Field::SidLine525Pesa,
                                     Field::SidLine625Vitc, Field::SidLine625Pesa}));
    EXPECT_EQ(rangeSignals, 0); // the defaults had already set the limits

    CardSetup fresh;
    QObject::connect(&fresh, &CardSetup::spinnerRangesChanged, [&] { ++rangeSignals; });
    fresh.edit([](SetupValues& v) { v.setupSidLines(); });
    EXPECT_EQ(rangeSignals, 1);
}

TEST(Defaults, holdTheFactoryValuesAndApplyingThemTwiceChangesNothing)
{
    CardSetup setup;
    loadDefaults(setup);
    const SetupValues once = setup.values();
    loadDefaults(setup);
    EXPECT_EQ(setup.values(), once);
    EXPECT_EQ(once.choice(Field::VideoStandard), 2);
    EXPECT_EQ(once.text(Field::SidLine525Vitc), "10");
    EXPECT_EQ(once.text(Field::SidLine625Pesa), "11");
    EXPECT_EQ(once.choice(Field::PeakLevel), 10);
    EXPECT_EQ(choiceText(Field::PeakLevel, once.choice(Field::PeakLevel)), "14dBu  -10dB");
    EXPECT_EQ(once.level(Field::WarningRegion), -82);
    EXPECT_EQ(once.text(Field::Gpi2Text), "REPLAY");
    EXPECT_TRUE(once.option(Field::CompositeOutputSidAudio));
    EXPECT_FALSE(once.option(Field::CompositeOutputSid));
    EXPECT_TRUE(once.option(Field::DipSwitchesDisable));
    EXPECT_EQ(once.text(Field::NoSidMessageHorizontal), "22");
}
