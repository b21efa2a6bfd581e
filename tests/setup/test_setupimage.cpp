// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/setupimage.h"
#include "setupprinters.h"

#include <gtest/gtest.h>
#include <vector>

using namespace quillon;

namespace {

QByteArray workedExample()
{
    const std::vector<int> head = {24, 0, 0, 10, 0, 0, 0, 0, 160, 10, 10, 11, 11, 254,
                                   0, 1, 36, 1, 0, 9, 36, 9,
                                   22, 4, 10, 11, 12, 11, 208, 10, 0, 20, 0, 22, 4};
    QByteArray image;
    for (int b : head)
        image += char(b);
    for (const char* text : {"NO AVM", "RECORD", "REPLAY"})
        image += QByteArray(text).leftJustified(16, '\0');
    for (int b : {160, 111, 72, 46, 212, 64})
        image += char(b);
    return image;
}

QByteArray encodeWith(const std::function<void(SetupValues&)>& change)
{
    SetupValues v = defaultSetupValues();
    change(v);
    const EncodeResult result = encodeSidImage(v);
    EXPECT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    return result.image;
}

int byteAt(const QByteArray& image, int index)
{
    return quint8(image.at(index));
}

// Checks that each option of 'bits' (field selected when its bit is 1) follows 'byte', and that
// its partner shows the other state.
auto optionsFollow(int byte, std::vector<std::pair<Field, int>> bits)
{
    return [byte, bits](const SetupValues& v) {
        for (const auto& [field, bit] : bits) {
            const bool set = (byte >> bit) & 1;
            EXPECT_EQ(v.option(field), set) << fieldInfo(field).name;
            EXPECT_EQ(v.option(fieldInfo(field).partner), !set) << fieldInfo(field).name;
        }
    };
}

auto displayFlagsFollow(int byte)
{
    using F = Field;
    return optionsFollow(byte, {{F::SdiOutputSidAudio, 7}, {F::CompositeOutputSidAudio, 6},
                                {F::AudioBarPpm, 5}, {F::AudioWindowOn, 4}, {F::SidWindowOn, 3},
                                {F::TimeCodeWindowOn, 2}, {F::StatusWindowOn, 1}});
}

auto controlFlagsFollow(int byte)
{
    using F = Field;
    return [byte](const SetupValues& v) {
        optionsFollow(byte, {{F::MissingSidEnable, 7}, {F::DipSwitchesEnable, 2}})(v);
        const std::pair<Field, int> checks[] = {{F::Gpi1DisplayMessage, 6}, {F::Gpi1Blink, 5},
                                                {F::Gpi2DisplayMessage, 4}, {F::Gpi2Blink, 3},
                                                {F::Gpi2TextOff, 1},        {F::Gpi1TextOff, 0}};
        for (const auto& [field, bit] : checks)
            EXPECT_EQ(v.check(field), (byte >> bit) & 1) << fieldInfo(field).name;
    };
}

} // namespace

TEST(SidImageEncoding, theDefaultsEncodeToTheWorkedExampleByteForByte)
{
    const QByteArray expected = workedExample();
    ASSERT_EQ(expected.size(), 89);
    EXPECT_EQ(encodeSidImage(defaultSetupValues()).image, expected);
}

TEST(SidImageEncoding, settingsLandOnTheirBytesAndBits)
{
    using F = Field;
    const struct {
        const char* what;
        std::function<void(SetupValues&)> change;
        int index;
        int value;
    } rows[] = {
        {"group 3, 3 and 4, swap, mono",
         [](SetupValues& v) {
             v.setChoice(F::AudioGroup, 2);
             v.setOption(F::AudioChannels34, true);
             v.setOption(F::ChannelSwapYes, true);
             v.setOption(F::OutputMono, true);
         },
         2, 188},
        {"no group chosen", [](SetupValues& v) { v.setChoice(F::AudioGroup, -1); }, 2, 0},
        {"mono group with neither set", [](SetupValues& v) { v.setOption(F::OutputStereo, false); }, 2, 0},
        {"no level is stored as 1", [](SetupValues& v) { v.setChoice(F::PeakLevel, -1); }, 3, 1},
        {"fine adjust -1", [](SetupValues& v) { v.setText(F::FineAdjustChannel1, "-1"); }, 4, 255},
        {"fine adjust -128", [](SetupValues& v) { v.setText(F::FineAdjustChannel1, "-128"); }, 4, 128},
        {"fine adjust 127", [](SetupValues& v) { v.setText(F::FineAdjustB2, "127"); }, 7, 127},
        {"fine adjust -0.4 rounds to 0", [](SetupValues& v) { v.setText(F::FineAdjustChannel2, "-0.4"); }, 5, 0},
        {"fine adjust 2.5 rounds to even", [](SetupValues& v) { v.setText(F::FineAdjustA2, "2.5"); }, 6, 2},
        {"625, pedestal off, B/W",
         [](SetupValues& v) {
             v.setChoice(F::VideoStandard, 1);
             v.setOption(F::NtscPedestalOff, true);
             v.setOption(F::CompositeBlackWhite, true);
         },
         8, 64 + 16},
        {"no standard chosen", [](SetupValues& v) { v.setChoice(F::VideoStandard, -1); }, 8, 32},
        {"625 VITC line goes to byte 10", [](SetupValues& v) { v.setText(F::SidLine625Vitc, "6"); }, 10, 6},
        {"525 PESA line goes to byte 11", [](SetupValues& v) { v.setText(F::SidLine525Pesa, "21"); }, 11, 21},
        {"625 PESA line goes to byte 12", [](SetupValues& v) { v.setText(F::SidLine625Pesa, "17"); }, 12, 17},
        {"all windows off, VU, SID only",
         [](SetupValues& v) {
             for (F f : {F::AudioWindowOff, F::SidWindowOff, F::TimeCodeWindowOff, F::StatusWindowOff, F::AudioBarVu, F::SdiOutputSid, F::CompositeOutputSid})
                 v.setOption(f, true);
         },
         13, 0},
        {"status window alone on",
         [](SetupValues& v) {
             for (F f : {F::AudioWindowOff, F::SidWindowOff, F::TimeCodeWindowOff, F::AudioBarVu, F::SdiOutputSid, F::CompositeOutputSid})
                 v.setOption(f, true);
         },
         13, 2},
        {"blink checks are bits 5 and 3",
         [](SetupValues& v) {
             v.setCheck(F::Gpi1Blink, 1);
             v.setCheck(F::Gpi2Blink, 1);
         },
         28, 208 + 32 + 8},
        {"GPI 1 text off alone is bit 0", [](SetupValues& v) { v.setCheck(F::Gpi1TextOff, 1); }, 28, 208 + 1},
        {"GPI 2 text off alone is bit 1", [](SetupValues& v) { v.setCheck(F::Gpi2TextOff, 1); }, 28, 208 + 2},
        {"grey check box counts as off", [](SetupValues& v) { v.setCheck(F::Gpi1DisplayMessage, 2); }, 28, 128 + 16},
        {"text off checks and DIP",
         [](SetupValues& v) {
             v.setCheck(F::Gpi1TextOff, 1);
             v.setCheck(F::Gpi2TextOff, 1);
             v.setOption(F::DipSwitchesEnable, true);
             v.setOption(F::MissingSidDisable, true);
         },
         28, 64 + 16 + 4 + 2 + 1},
        {"NO SID message sits at the SID window",
         [](SetupValues& v) {
             v.setText(F::SidWindowHorizontal, "30");
             v.setText(F::NoSidMessageHorizontal, "5");
         },
         33, 30},
        {"audio window position is not sent", [](SetupValues& v) { v.setText(F::AudioWindowHorizontal, "300"); }, 22, 22},
        {"operating region -128", [](SetupValues& v) { v.setLevel(F::OperatingRegion, -128); }, 85, 0},
        {"warning region 0", [](SetupValues& v) { v.setLevel(F::WarningRegion, 0); }, 86, 128},
        {"error region 127", [](SetupValues& v) { v.setLevel(F::ErrorRegion, 127); }, 87, 255},
        {"grey 2 stays unsigned", [](SetupValues& v) { v.setLevel(F::Grey2, 255); }, 88, 255},
    };
    for (const auto& row : rows)
        EXPECT_EQ(byteAt(encodeWith(row.change), row.index), row.value) << row.what;
}

TEST(SidImageEncoding, textsFillTheirSixteenByteSlotsAndLongerTextsAreCut)
{
    QByteArray image = encodeWith([](SetupValues& v) {
        v.setText(Field::MissingSidMessage, "ABCDEFGHIJKLMNOP");
        v.setText(Field::Gpi1Text, "");
        v.setText(Field::Gpi2Text, QString::fromUtf8("0123456789abcdefXYZ€"));
    });
    EXPECT_EQ(image.mid(35, 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(image.mid(51, 16), QByteArray(16, '\0'));
    EXPECT_EQ(image.mid(67, 16), "0123456789abcdef");
    EXPECT_EQ(byteAt(image, 83), 160);

    image = encodeWith([](SetupValues& v) { v.setText(Field::MissingSidMessage, QString::fromUtf8("Café €")); });
    EXPECT_EQ(image.mid(35, 7), QByteArray("Caf\xe9 \x80\0", 7));
}

TEST(SidImageEncoding, aValueThatDoesNotFitItsByteRefusesTheWholeBuild)
{
    using F = Field;
    const struct {
        Field field;
        const char* text;
    } rows[] = {
        {F::FineAdjustChannel1, "128"},  {F::FineAdjustB2, "-129"}, {F::FineAdjustA2, "127.6"},
        {F::SidWindowHorizontal, "256"},     {F::StatusWindowVertical, "-1"},       {F::SidLine625Vitc, "255.5"},
        {F::Gpi1MessageHorizontal, "-0.6"},    {F::MissingSidMessage, "Ωmega"},  {F::Gpi2Text, "日本"},
    };
    for (const auto& row : rows) {
        HeldSetup held;
        loadDefaults(held.fields);
        held.setupImage = QByteArray(120, '\x07');
        held.fields.setText(row.field, QString::fromUtf8(row.text));
        const QString refusal = buildSetupImage(held, quint8(0));
        EXPECT_EQ(held.setupImage, QByteArray(120, '\x07'));
        EXPECT_TRUE(refusal.contains(describeField(row.field))) << refusal.toStdString();
        EXPECT_TRUE(refusal.contains(fieldInfo(row.field).caption));
        EXPECT_TRUE(refusal.contains(QString::fromUtf8(row.text)));
    }
}

TEST(SidImageEncoding, aCharacterPastTheSixteenthIsNeverSentSoItIsNoReasonToRefuse)
{
    const EncodeResult result = [] {
        SetupValues v = defaultSetupValues();
        v.setText(Field::Gpi1Text, QString::fromUtf8("0123456789abcdefΩ"));
        return encodeSidImage(v);
    }();
    EXPECT_TRUE(result.error.isEmpty());
}

TEST(BuildSetupImage, checksTheHeldKindAgainstTheCardWithTheFixedMessages)
{
    QByteArray avmImage(90, '\0');
    avmImage[0] = 24;
    avmImage[1] = 1;
    QByteArray corrupt = avmImage;
    corrupt[0] = '0';
    QByteArray versionZero = avmImage;
    versionZero[1] = 0;
    const struct {
        const char* what;
        std::optional<quint8> cardVersion;
        CardType loaded;
        CardType connected;
        QByteArray image;
        const char* refusal;
    } rows[] = {
        {"SID card, AVM held", quint8(0), CardType::AVM, CardType::SID, avmImage,
         "AVM configuration Loaded, SID card connected"},
        {"AVM card, SID held", quint8(3), CardType::SID, CardType::AVM, avmImage,
         "SID configuration Loaded, AVM card connected"},
        {"AVM, start-up image", std::nullopt, CardType::AVM, CardType::AVM,
         HeldSetup::emptySidImage(),
         "Configuration not loaded, Please Extract or Load a KX40AVM configuration."},
        {"AVM, byte 0 a digit", quint8(1), CardType::AVM, CardType::AVM, corrupt,
         "Corrupt Configuration, Please Extract or Load a KX40AVM configuration."},
        {"AVM, version 0", std::nullopt, CardType::AVM, CardType::AVM, versionZero,
         "Corrupt Configuration, Please Extract or Load a KX40AVM configuration."},
        {"AVM, 90 good bytes", quint8(1), CardType::AVM, CardType::AVM, avmImage, ""},
        {"no version report skips the kind check", std::nullopt, CardType::AVM, CardType::SID,
         avmImage, ""},
    };
    for (const auto& row : rows) {
        HeldSetup held;
        loadDefaults(held.fields);
        held.loadedCardType = row.loaded;
        held.connectedCardType = row.connected;
        held.setupImage = row.image;
        EXPECT_EQ(buildSetupImage(held, row.cardVersion), row.refusal) << row.what;
        if (*row.refusal)
            EXPECT_EQ(held.setupImage, row.image) << row.what;
    }
}

TEST(BuildSetupImage, aSidBuildReplacesALongerHeldImageWithExactly89Bytes)
{
    HeldSetup held;
    loadDefaults(held.fields);
    held.setupImage = QByteArray(300, '\x55');
    ASSERT_EQ(buildSetupImage(held, quint8(0)), "");
    EXPECT_EQ(held.setupImage, workedExample());

    held.setupImage = QByteArray(10, '\x55'); // a short AVM file read earlier
    ASSERT_EQ(buildSetupImage(held, std::nullopt), "");
    EXPECT_EQ(held.setupImage, workedExample());
}

TEST(SidImageDecoding, theWorkedExampleGivesBackTheDefaultsFieldByField)
{
    const SetupValues layout;
    const SetupValues decoded = decodeSidImage(workedExample(), layout);
    const SetupValues defaults = defaultSetupValues();
    for (const FieldInfo& info : allFields()) {
        if (info.field == Field::AudioWindowHorizontal || info.field == Field::AudioWindowVertical)
            continue; // the audio window's position is not in the image
        EXPECT_EQ(decoded.displayValue(info.field), defaults.displayValue(info.field)) << info.name;
    }
    EXPECT_EQ(decoded.text(Field::AudioWindowHorizontal), layout.text(Field::AudioWindowHorizontal));
}

TEST(SidImageDecoding, bytesComeBackAsTheSettingsTheyEncode)
{
    using F = Field;
    const struct {
        const char* what;
        int index;
        int byte;
        std::function<void(const SetupValues&)> check;
    } rows[] = {
        {"byte 2 = 188", 2, 188, [](const SetupValues& v) {
             EXPECT_EQ(v.choice(F::AudioGroup), 2);
             EXPECT_TRUE(v.option(F::AudioChannels34) && v.option(F::ChannelSwapYes) && v.option(F::OutputMono));
             EXPECT_FALSE(v.option(F::AudioChannels12) || v.option(F::ChannelSwapNo) || v.option(F::OutputStereo));
         }},
        {"bit 2 alone is stereo", 2, 4, [](const SetupValues& v) { EXPECT_TRUE(v.option(F::OutputStereo)); }},
        {"bit 3 alone is mono", 2, 8, [](const SetupValues& v) { EXPECT_TRUE(v.option(F::OutputMono)); }},
        {"fine adjust 128", 4, 128, [](const SetupValues& v) { EXPECT_EQ(v.text(F::FineAdjustChannel1), "-128"); }},
        {"fine adjust 255", 5, 255, [](const SetupValues& v) { EXPECT_EQ(v.text(F::FineAdjustChannel2), "-1"); }},
        {"fine adjust 127", 7, 127, [](const SetupValues& v) { EXPECT_EQ(v.text(F::FineAdjustB2), "127"); }},
        {"625, pedestal off, B/W", 8, 64 + 16, [](const SetupValues& v) {
             EXPECT_EQ(v.choice(F::VideoStandard), 1);
             optionsFollow(64 + 16, {{F::NtscPedestalOn, 5}, {F::CompositeBlackWhite, 4}})(v);
         }},
        {"525, pedestal on, colour", 8, 32, [](const SetupValues& v) {
             EXPECT_EQ(v.choice(F::VideoStandard), 0);
             optionsFollow(32, {{F::NtscPedestalOn, 5}, {F::CompositeBlackWhite, 4}})(v);
         }},
        {"standard bits 11 keep the standard and lines", 8, 192, [](const SetupValues& v) {
             EXPECT_EQ(v.choice(F::VideoStandard), 1);
             EXPECT_EQ(v.text(F::SidLine625Pesa), "11");
         }},
        {"625 VITC from byte 10", 10, 6, [](const SetupValues& v) { EXPECT_EQ(v.text(F::SidLine625Vitc), "6"); }},
        {"525 PESA from byte 11", 11, 21, [](const SetupValues& v) {
             EXPECT_EQ(v.text(F::SidLine525Pesa), "21");
             EXPECT_EQ(v.text(F::SidLine625Pesa), "11");
         }},
        {"625 PESA from byte 12", 12, 17, [](const SetupValues& v) {
             EXPECT_EQ(v.text(F::SidLine625Pesa), "17");
             EXPECT_EQ(v.text(F::SidLine525Pesa), "11");
         }},
        {"outputs and windows all off", 13, 0, displayFlagsFollow(0)},
        {"composite SID + Audio, SID window", 13, 0x48, displayFlagsFollow(0x48)},
        {"SDI SID + Audio, PPM, audio, time code and status", 13, 0xB6, displayFlagsFollow(0xB6)},
        {"NO SID position from byte 33", 33, 7, [](const SetupValues& v) {
             EXPECT_EQ(v.text(F::NoSidMessageHorizontal), "7");
             EXPECT_EQ(v.text(F::SidWindowHorizontal), "22");
         }},
        {"operating region 72", 85, 72, [](const SetupValues& v) { EXPECT_EQ(v.level(F::OperatingRegion), -56); }},
        {"control flags", 28, 0x7B, controlFlagsFollow(0x7B)},
        {"GPI 1 text off alone", 28, 0x01, controlFlagsFollow(0x01)},
        {"GPI 2 text off alone", 28, 0x02, controlFlagsFollow(0x02)},
        {"missing SID and DIP enabled", 28, 0x84, controlFlagsFollow(0x84)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetupValues base = defaultSetupValues();
        base.setChoice(F::VideoStandard, 1);
        base.setText(F::SidLine625Pesa, "11");
        QByteArray image = workedExample();
        image[row.index] = char(row.byte);
        ASSERT_TRUE(sidImageRefusal(image).isEmpty());
        row.check(decodeSidImage(image, base));
    }
}

TEST(SidImageDecoding, aTextEndsAtItsFirstZeroByteAndKeepsAllSixteenOtherwise)
{
    QByteArray image = workedExample();
    image.replace(35, 16, QByteArray("AB\0CD", 5).leftJustified(16, '\0'));
    image.replace(51, 16, QByteArray("0123456789abcdef"));
    image[67] = '\x80';
    const SetupValues v = decodeSidImage(image, SetupValues());
    EXPECT_EQ(v.text(Field::MissingSidMessage), "AB");
    EXPECT_EQ(v.text(Field::Gpi1Text), "0123456789abcdef");
    EXPECT_EQ(v.text(Field::Gpi2Text), QString::fromUtf8("€EPLAY"));
}

TEST(ApplySetupImage, anImageWithAValueNoControlCanShowIsRefusedWhole)
{
    const struct {
        const char* what;
        int index; // -1: cut the image to 88 bytes
        int byte;
        const char* named;
    } rows[] = {
        {"level index 25", 3, 25, "\"Level: Peak Analog\" (Set-up Audio)"},
        {"text brightness 119", 83, 119, "\"Text Brightness\" (Set-up Colors)"},
        {"text brightness 236", 83, 236, "\"Text Brightness\" (Set-up Colors)"},
        {"border brightness 79", 84, 79, "\"Bar Graph Border Brightness\" (Set-up Colors)"},
        {"border brightness 236", 84, 236, "\"Bar Graph Border Brightness\" (Set-up Colors)"},
        {"short image", -1, 0, "88 bytes"},
    };
    for (const auto& row : rows) {
        HeldSetup held;
        loadDefaults(held.fields);
        held.fields.setText(Field::MissingSidMessage, "mine");
        const SetupValues before = held.fields.values();
        QByteArray image = workedExample();
        image[2] = char(188); // would change settings if anything were applied
        if (row.index < 0)
            image.truncate(88);
        else
            image[row.index] = char(row.byte);
        held.setupImage = image;
        const QString refusal = applySetupImage(held);
        EXPECT_EQ(held.fields.values(), before) << row.what;
        EXPECT_TRUE(refusal.contains(row.named)) << refusal.toStdString();
        if (row.index >= 0) {
            EXPECT_TRUE(refusal.contains(QString::number(row.byte)));
        }
    }
}

TEST(ApplySetupImage, aSidImageFillsTheSettingsAndAnAvmImageNone)
{
    HeldSetup held;
    held.setupImage = workedExample();
    EXPECT_EQ(applySetupImage(held), "");
    EXPECT_EQ(held.fields.values().text(Field::Gpi1Text), "RECORD");

    held.fields.setText(Field::Gpi1Text, "kept");
    QByteArray avm(120, '\x09');
    avm[0] = 24;
    avm[1] = 1;
    held.setupImage = avm;
    EXPECT_EQ(applySetupImage(held), "");
    EXPECT_EQ(held.fields.values().text(Field::Gpi1Text), "kept");
}
