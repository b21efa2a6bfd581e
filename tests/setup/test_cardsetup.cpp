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
        perForm[QString::fromLatin1(info.form)]++;
        EXPECT_TRUE(QString::fromLatin1(info.name).startsWith(QString::fromLatin1(info.form) + '.'));
        EXPECT_FALSE(info.caption.isEmpty());
        if (info.kind == FieldKind::Option) {
            EXPECT_NE(info.partner, info.field) << info.name;
            EXPECT_EQ(fieldInfo(info.partner).partner, info.field) << info.name;
        }
    }
    EXPECT_EQ(names.size(), FieldCount);
    EXPECT_EQ(perForm["frmAudioConfig"], 12);
    EXPECT_EQ(perForm["frmSIDConfig"], 13);
    EXPECT_EQ(perForm["frmColorConfig"], 6);
    EXPECT_EQ(perForm["frmWinConfig"], 27);
    EXPECT_EQ(perForm["frmControlConfig"], 10);
    EXPECT_STREQ(fieldInfo(Field::tA1Left0).name, "frmAudioConfig.tA1Left(0)");
    EXPECT_STREQ(fieldInfo(Field::Slider1_5).name, "frmColorConfig.Slider1(5)");
    EXPECT_EQ(formCaption("frmSIDConfig"), "Set-up Source ID");
}

TEST(FieldTable, levelItemsRunFrom24dBuDownTo0dBu)
{
    const QStringList& items = fieldInfo(Field::cLevel).items;
    ASSERT_EQ(items.size(), 25);
    EXPECT_EQ(items[0], "24dBu  0dB");
    EXPECT_EQ(items[1], "23dBu  -1dB");
    EXPECT_EQ(items[10], "14dBu  -10dB");
    EXPECT_EQ(items[24], "0dBu  -24dB");
    EXPECT_EQ(fieldInfo(Field::cStandard).items, QStringList({"525", "625", "Auto"}));
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
        {[&] { v.setChoice(Field::cLevel, 25); }, "frmAudioConfig.cLevel", "25"},
        {[&] { v.setChoice(Field::cGroup, -2); }, "frmAudioConfig.cGroup", "-2"},
        {[&] { v.setCheck(Field::cGPI1_0, 3); }, "frmControlConfig.cGPI1(0)", "3"},
        {[&] { v.setLevel(Field::Slider1_0, 119); }, "frmColorConfig.Slider1(0)", "119"},
        {[&] { v.setLevel(Field::Slider1_1, 236); }, "frmColorConfig.Slider1(1)", "236"},
        {[&] { v.setLevel(Field::Slider1_2, 128); }, "frmColorConfig.Slider1(2)", "128"},
        {[&] { v.setLevel(Field::Slider1_5, -1); }, "frmColorConfig.Slider1(5)", "-1"},
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
    v.setChoice(Field::cLevel, -1);
    v.setLevel(Field::Slider1_2, -128);
    v.setText(Field::tA1Left0, "abc");
    EXPECT_EQ(v.choice(Field::cLevel), -1);
    EXPECT_EQ(v.number(Field::tA1Left0), 0);
}

TEST(SetupValuesRules, settingAnOptionOnClearsItsPartnerButOffClearsOnlyItself)
{
    SetupValues v = defaultSetupValues();
    v.setOption(Field::oMono, true);
    EXPECT_TRUE(v.option(Field::oMono));
    EXPECT_FALSE(v.option(Field::oStereo));
    v.setOption(Field::oMono, false);
    EXPECT_FALSE(v.option(Field::oMono));
    EXPECT_FALSE(v.option(Field::oStereo));
    EXPECT_EQ(v.displayValue(Field::oMono), "#FALSE#");
}

TEST(SetupValuesRules, choosingAStandardResetsTheLineNumbersAndSetsTheSpinnerLimits)
{
    SetupValues v;
    EXPECT_EQ(v.spinnerRange(Field::tVITC1).min, 10);
    EXPECT_EQ(v.spinnerRange(Field::tVITC1).max, 20);
    v.setText(Field::tPesa1, "15");
    v.setChoice(Field::cStandard, 1);
    EXPECT_EQ(v.text(Field::tVITC0), "20");
    EXPECT_EQ(v.text(Field::tPesa0), "21");
    EXPECT_EQ(v.text(Field::tVITC1), "20");
    EXPECT_EQ(v.text(Field::tPesa1), "21");
    const Field lines[] = {Field::tVITC0, Field::tPesa0, Field::tVITC1, Field::tPesa1};
    const Range limits[] = {{10, 32}, {10, 21}, {6, 32}, {7, 22}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v.spinnerRange(lines[i]).min, limits[i].min);
        EXPECT_EQ(v.spinnerRange(lines[i]).max, limits[i].max);
    }
    v.setText(Field::tVITC0, "5");
    v.setChoice(Field::cStandard, 1); // the same item again still counts as a choice
    EXPECT_EQ(v.text(Field::tVITC0), "20");
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
        v.setChoice(Field::cStandard, row.standard);
        v.setText(Field::tVITC0, row.before);
        v.setupSidLines();
        EXPECT_EQ(v.text(Field::tVITC0), row.after) << row.standard << " " << row.before;
    }
}

TEST(CardSetupModel, aFailedEditChangesNothingAndSignalsNothing)
{
    CardSetup setup;
    LoadDefaultConfig(setup);
    int signals = 0;
    QObject::connect(&setup, &CardSetup::fieldChanged, [&] { ++signals; });
    const SetupValues before = setup.values();
    EXPECT_THROW(setup.edit([](SetupValues& v) {
        v.setText(Field::tSIDNot, "changed");
        v.setChoice(Field::cLevel, 99);
    }),
                 SetupValueError);
    EXPECT_EQ(setup.values(), before);
    EXPECT_EQ(signals, 0);
}

TEST(CardSetupModel, anEditSignalsExactlyTheFieldsWhoseValueChanged)
{
    CardSetup setup;
    LoadDefaultConfig(setup);
    QList<Field> changed;
    int rangeSignals = 0;
    QObject::connect(&setup, &CardSetup::fieldChanged, [&](Field f) { changed << f; });
    QObject::connect(&setup, &CardSetup::spinnerRangesChanged, [&] { ++rangeSignals; });
    setup.setOption(Field::oMono, true);
    EXPECT_EQ(changed, QList<Field>({Field::oStereo, Field::oMono}));
    changed.clear();
    setup.setText(Field::tVITC0, "10"); // same text
    EXPECT_TRUE(changed.isEmpty());
    setup.setChoice(Field::cStandard, 0);
    EXPECT_EQ(changed, QList<Field>({Field::cStandard, Field::tVITC0, Field::tPesa0,
                                     Field::tVITC1, Field::tPesa1}));
    EXPECT_EQ(rangeSignals, 0); // the defaults had already set the limits

    CardSetup fresh;
    QObject::connect(&fresh, &CardSetup::spinnerRangesChanged, [&] { ++rangeSignals; });
    fresh.edit([](SetupValues& v) { v.setupSidLines(); });
    EXPECT_EQ(rangeSignals, 1);
}

TEST(Defaults, holdTheFactoryValuesAndApplyingThemTwiceChangesNothing)
{
    CardSetup setup;
    LoadDefaultConfig(setup);
    const SetupValues once = setup.values();
    LoadDefaultConfig(setup);
    EXPECT_EQ(setup.values(), once);
    EXPECT_EQ(once.choice(Field::cStandard), 2);
    EXPECT_EQ(once.text(Field::tVITC0), "10");
    EXPECT_EQ(once.text(Field::tPesa1), "11");
    EXPECT_EQ(once.choice(Field::cLevel), 10);
    EXPECT_EQ(choiceText(Field::cLevel, once.choice(Field::cLevel)), "14dBu  -10dB");
    EXPECT_EQ(once.level(Field::Slider1_3), -82);
    EXPECT_EQ(once.text(Field::tGPIText1), "REPLAY");
    EXPECT_TRUE(once.option(Field::oSIDwA1));
    EXPECT_FALSE(once.option(Field::oSID1));
    EXPECT_TRUE(once.option(Field::oDIPDis));
    EXPECT_EQ(once.text(Field::tHor6), "22");
}
