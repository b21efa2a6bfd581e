// SPDX-License-Identifier: GPL-3.0-or-later
#include "setupimage.h"

#include "codepage.h"
#include "numbers.h"

namespace quillon {

namespace {

using F = Field;

constexpr int TextSlotSize = 16;
constexpr quint8 FixedBytes[8] = {0, 1, 36, 1, 0, 9, 36, 9};

// Byte offsets of the SID image.
enum : int {
    AudioFlags = 2,
    LevelByte = 3,
    FineAdjustBytes = 4,
    VideoFlags = 8,
    SidLineBytes = 9,
    DisplayFlags = 13,
    FixedStart = 14,
    WindowPositions = 22,
    ControlFlags = 28,
    MessagePositions = 29,
    SidNotSlot = 35,
    GpiText0Slot = 51,
    GpiText1Slot = 67,
    SliderBytes = 83,
};

const Field SidLinesInImageOrder[] = {F::SidLine525Vitc, F::SidLine625Vitc, F::SidLine525Pesa, F::SidLine625Pesa};
const Field FineAdjusts[] = {F::FineAdjustChannel1, F::FineAdjustChannel2, F::FineAdjustA2, F::FineAdjustB2};
const Field Sliders[] = {F::TextBrightness, F::BarBorderBrightness, F::OperatingRegion,
                         F::WarningRegion, F::ErrorRegion, F::Grey2};

bool isOffsetSlider(Field f)
{
    return f == F::OperatingRegion || f == F::WarningRegion || f == F::ErrorRegion;
}

// Writes a set-up into an image, or stops at the first value the card could not take.
class Encoder {
public:
    explicit Encoder(const SetupValues& values)
        : v_(values)
    {
        image_.fill(0, SidImageSize);
        image_[0] = char(SetupDataCommand);
    }

    EncodeResult run()
    {
        encodeAudio();
        encodeVideo();
        encodeWindows();
        encodeTexts();
        encodeSliders();
        if (!error_.isEmpty())
            return {QByteArray(), error_};
        return {image_, QString()};
    }

private:
    void add(int index, int bits) { image_[index] = char(quint8(image_[index]) | bits); }
    // "If a is set add nothing, else if b is set add bits": a group with neither set adds nothing.
    int unlessFirst(Field first, Field second, int bits) const
    {
        return !v_.option(first) && v_.option(second) ? bits : 0;
    }

    void putNumber(int index, Field f, int low, int high)
    {
        const double value = v_.number(f);
        const auto fitted = roundToRange(value, low, high);
        if (!fitted) {
            refuse(QStringLiteral("%1 is \"%2\"; the card takes %3 to %4 there.")
                       .arg(describeField(f), v_.text(f), QString::number(low),
                            QString::number(high)));
            return;
        }
        image_[index] = char(quint8(*fitted & 0xFF));
    }

    void refuse(const QString& reason)
    {
        if (error_.isEmpty())
            error_ = QStringLiteral("The set-up cannot be sent: ") + reason;
    }

    void encodeAudio()
    {
        const int group = v_.choice(F::AudioGroup);
        if (group >= 0)
            add(AudioFlags, group * 64);
        add(AudioFlags, unlessFirst(F::AudioChannels12, F::AudioChannels34, 32));
        add(AudioFlags, unlessFirst(F::ChannelSwapNo, F::ChannelSwapYes, 16));
        add(AudioFlags, unlessFirst(F::OutputStereo, F::OutputMono, 12));

        const int level = v_.choice(F::PeakLevel);
        image_[LevelByte] = char(level < 0 ? -level : level);

        for (int i = 0; i < 4; ++i)
            putNumber(FineAdjustBytes + i, FineAdjusts[i], -128, 127);
    }

    void encodeVideo()
    {
        const int standard = v_.choice(F::VideoStandard);
        if (standard >= 0)
            add(VideoFlags, standard * 64);
        if (v_.option(F::NtscPedestalOn))
            add(VideoFlags, 32);
        add(VideoFlags, unlessFirst(F::CompositeColour, F::CompositeBlackWhite, 16));

        for (int i = 0; i < 4; ++i)
            putNumber(SidLineBytes + i, SidLinesInImageOrder[i], 0, 255);
    }

    void encodeWindows()
    {
        add(DisplayFlags, unlessFirst(F::SdiOutputSid, F::SdiOutputSidAudio, 128));
        add(DisplayFlags, unlessFirst(F::CompositeOutputSid, F::CompositeOutputSidAudio, 64));
        add(DisplayFlags, unlessFirst(F::AudioBarVu, F::AudioBarPpm, 32));
        const Field states[4][2] = {
            {F::AudioWindowOff, F::AudioWindowOn}, {F::SidWindowOff, F::SidWindowOn}, {F::TimeCodeWindowOff, F::TimeCodeWindowOn}, {F::StatusWindowOff, F::StatusWindowOn}};
        for (int i = 0; i < 4; ++i)
            add(DisplayFlags, unlessFirst(states[i][0], states[i][1], 16 >> i));

        for (int i = 0; i < 8; ++i)
            image_[FixedStart + i] = char(FixedBytes[i]);

        const Field positions[] = {F::SidWindowHorizontal, F::SidWindowVertical, F::TimeCodeWindowHorizontal, F::TimeCodeWindowVertical, F::StatusWindowHorizontal, F::StatusWindowVertical};
        for (int i = 0; i < 6; ++i)
            putNumber(WindowPositions + i, positions[i], 0, 255);

        if (v_.option(F::MissingSidEnable))
            add(ControlFlags, 128);
        const std::pair<Field, int> checks[] = {{F::Gpi1DisplayMessage, 64}, {F::Gpi1Blink, 32},
                                                {F::Gpi2DisplayMessage, 16}, {F::Gpi2Blink, 8},
                                                {F::Gpi1TextOff, 1},  {F::Gpi2TextOff, 2}};
        for (const auto& [field, bit] : checks) {
            if (v_.check(field) == 1)
                add(ControlFlags, bit);
        }
        if (v_.option(F::DipSwitchesEnable))
            add(ControlFlags, 4);

        // The NO SID message goes where the SID window is.
        const Field messages[] = {F::Gpi1MessageHorizontal, F::Gpi1MessageVertical, F::Gpi2MessageHorizontal, F::Gpi2MessageVertical, F::SidWindowHorizontal, F::SidWindowVertical};
        for (int i = 0; i < 6; ++i)
            putNumber(MessagePositions + i, messages[i], 0, 255);
    }

    void putText(int slot, Field f)
    {
        const QString sent = v_.text(f).left(TextSlotSize); // the slot holds 16 characters
        const auto bytes = toSingleByte(sent);
        if (!bytes) {
            refuse(QStringLiteral("%1 is \"%2\", and the character \"%3\" cannot be sent to the "
                                  "card.")
                       .arg(describeField(f), v_.text(f), QString(*firstUnencodable(sent))));
            return;
        }
        for (int i = 0; i < bytes->size(); ++i)
            image_[slot + i] = bytes->at(i);
    }

    void encodeTexts()
    {
        putText(SidNotSlot, F::MissingSidMessage);
        putText(GpiText0Slot, F::Gpi1Text);
        putText(GpiText1Slot, F::Gpi2Text);
    }

    void encodeSliders()
    {
        for (int i = 0; i < 6; ++i) {
            const Field f = Sliders[i];
            const int byte = v_.level(f) + (isOffsetSlider(f) ? 128 : 0);
            if (byte < 0 || byte > 255) {
                refuse(QStringLiteral("%1 is %2, outside what the card takes.")
                           .arg(describeField(f), QString::number(v_.level(f))));
                continue;
            }
            image_[SliderBytes + i] = char(byte);
        }
    }

    const SetupValues& v_;
    QByteArray image_;
    QString error_;
};

int bit(const QByteArray& image, int index, int bitNumber)
{
    return (quint8(image.at(index)) >> bitNumber) & 1;
}

QString textSlot(const QByteArray& image, int start)
{
    QByteArray slot = image.mid(start, TextSlotSize);
    const qsizetype zero = slot.indexOf('\0');
    if (zero >= 0)
        slot.truncate(zero);
    return fromSingleByte(slot);
}

} // namespace

QByteArray HeldSetup::emptySidImage()
{
    QByteArray image(SidImageSize, '\0');
    image[0] = char(SetupDataCommand);
    return image;
}

SetupValues defaultSetupValues()
{
    SetupValues v;
    // The windows in the order the defaults reach them: colours, controls, source ID,
    // windows, audio.
    const int sliders[] = {160, 111, -56, -82, 84, 64};
    for (int i = 0; i < 6; ++i)
        v.setLevel(Sliders[i], sliders[i]);

    v.setText(F::Gpi1Text, QStringLiteral("RECORD"));
    v.setText(F::Gpi2Text, QStringLiteral("REPLAY"));
    v.setCheck(F::Gpi1DisplayMessage, 1);
    v.setCheck(F::Gpi1Blink, 0);
    v.setCheck(F::Gpi1TextOff, 0);
    v.setCheck(F::Gpi2DisplayMessage, 1);
    v.setCheck(F::Gpi2Blink, 0);
    v.setCheck(F::Gpi2TextOff, 0);
    v.setOption(F::DipSwitchesDisable, true);

    v.setChoice(F::VideoStandard, 2); // resets the four line numbers, set right after
    v.setOption(F::NtscPedestalOn, true);
    v.setOption(F::CompositeColour, true);
    v.setText(F::SidLine525Vitc, QStringLiteral("10"));
    v.setText(F::SidLine525Pesa, QStringLiteral("11"));
    v.setText(F::SidLine625Vitc, QStringLiteral("10"));
    v.setText(F::SidLine625Pesa, QStringLiteral("11"));
    v.setOption(F::SdiOutputSid, false);
    v.setOption(F::CompositeOutputSid, false);
    v.setOption(F::SdiOutputSidAudio, true);
    v.setOption(F::CompositeOutputSidAudio, true);

    v.setText(F::MissingSidMessage, QStringLiteral("NO AVM"));
    v.setOption(F::MissingSidEnable, true);
    v.setOption(F::AudioBarPpm, true);
    const std::pair<Field, const char*> positions[] = {
        {F::AudioWindowHorizontal, "12"}, {F::AudioWindowVertical, "12"}, {F::SidWindowHorizontal, "22"}, {F::SidWindowVertical, "4"},
        {F::TimeCodeWindowHorizontal, "10"}, {F::TimeCodeWindowVertical, "11"}, {F::StatusWindowHorizontal, "12"}, {F::StatusWindowVertical, "11"},
        {F::Gpi2MessageHorizontal, "20"}, {F::Gpi2MessageVertical, "0"},  {F::Gpi1MessageHorizontal, "10"}, {F::Gpi1MessageVertical, "0"},
        {F::NoSidMessageHorizontal, "22"}, {F::NoSidMessageVertical, "4"}};
    for (const auto& [field, text] : positions)
        v.setText(field, QString::fromLatin1(text));
    for (Field on : {F::AudioWindowOn, F::SidWindowOn, F::TimeCodeWindowOn, F::StatusWindowOn})
        v.setOption(on, true);

    v.setChoice(F::AudioGroup, 0);
    v.setChoice(F::PeakLevel, 10);
    v.setOption(F::AudioChannels12, true);
    v.setOption(F::ChannelSwapNo, true);
    v.setOption(F::OutputStereo, true);
    for (Field f : FineAdjusts)
        v.setText(f, QStringLiteral("0"));
    return v;
}

void loadDefaults(CardSetup& fields)
{
    fields.setValues(defaultSetupValues());
}

void resetSetupImage(HeldSetup& held)
{
    held.setupImage = HeldSetup::emptySidImage();
}

EncodeResult encodeSidImage(const SetupValues& values)
{
    return Encoder(values).run();
}

QString buildSetupImage(HeldSetup& held, std::optional<quint8> cardVersion)
{
    if (cardVersion) {
        const bool sidCard = *cardVersion == 0;
        if (sidCard && held.loadedCardType == CardType::AVM)
            return QStringLiteral("AVM configuration Loaded, SID card connected");
        if (!sidCard && held.loadedCardType == CardType::SID)
            return QStringLiteral("SID configuration Loaded, AVM card connected");
    }

    if (held.connectedCardType == CardType::AVM) {
        const QByteArray& image = held.setupImage;
        if (image.size() <= SidImageSize)
            return QStringLiteral("Configuration not loaded, Please Extract or Load a KX40AVM configuration.");
        if (quint8(image.at(0)) == SetupDataCommand && image.at(1) != 0)
            return {};
        return QStringLiteral("Corrupt Configuration, Please Extract or Load a KX40AVM configuration.");
    }

    // Built aside and swapped in whole: a refused set-up leaves the held image as it was, and
    // a built one is exactly 89 bytes, whatever the array held before.
    const EncodeResult built = encodeSidImage(held.fields.values());
    if (built.error.isEmpty())
        held.setupImage = built.image;
    return built.error;
}

QString sidImageRefusal(const QByteArray& image)
{
    if (image.size() < SidImageSize) {
        return QStringLiteral("The set-up received is %1 bytes long; a SID set-up has %2. "
                              "Nothing was changed.")
            .arg(QString::number(image.size()), QString::number(SidImageSize));
    }
    if (image.at(1) != 0) {
        return QStringLiteral("The set-up received has version %1; a SID set-up has version 0. "
                              "Nothing was changed.")
            .arg(quint8(image.at(1)));
    }
    const int level = quint8(image.at(LevelByte));
    if (level > 24) {
        return QStringLiteral("The set-up received holds %1 for %2, whose list has items 0 to "
                              "24. Nothing was changed.")
            .arg(QString::number(level), describeField(F::PeakLevel));
    }
    for (Field f : {F::TextBrightness, F::BarBorderBrightness}) {
        const int value = quint8(image.at(SliderBytes + (f == F::TextBrightness ? 0 : 1)));
        const Range range = fieldInfo(f).range;
        if (!range.contains(value)) {
            return QStringLiteral("The set-up received holds %1 for %2, whose slider runs from "
                                  "%3 to %4. Nothing was changed.")
                .arg(QString::number(value), describeField(f), QString::number(range.min),
                     QString::number(range.max));
        }
    }
    return QString();
}

SetupValues decodeSidImage(const QByteArray& image, const SetupValues& base)
{
    SetupValues v = base;
    auto choose = [&v](bool second, Field first, Field other) {
        v.setOption(second ? other : first, true);
    };
    auto byteAt = [&image](int index) { return int(quint8(image.at(index))); };

    v.setChoice(F::AudioGroup, bit(image, AudioFlags, 7) * 2 + bit(image, AudioFlags, 6));
    choose(bit(image, AudioFlags, 5), F::AudioChannels12, F::AudioChannels34);
    choose(bit(image, AudioFlags, 4), F::ChannelSwapNo, F::ChannelSwapYes);
    choose(bit(image, AudioFlags, 3), F::OutputStereo, F::OutputMono); // bit 3 alone means Mono

    v.setChoice(F::PeakLevel, byteAt(LevelByte));
    for (int i = 0; i < 4; ++i)
        v.setText(FineAdjusts[i], QString::number(qint8(byteAt(FineAdjustBytes + i))));

    const int standard = byteAt(VideoFlags) >> 6;
    if (standard != 3) // never written by an encoder: the standard stays as it was
        v.setChoice(F::VideoStandard, standard);
    choose(bit(image, VideoFlags, 5), F::NtscPedestalOff, F::NtscPedestalOn);
    choose(bit(image, VideoFlags, 4), F::CompositeColour, F::CompositeBlackWhite);

    v.setText(F::SidLine525Vitc, QString::number(byteAt(SidLineBytes)));
    v.setText(F::SidLine525Pesa, QString::number(byteAt(SidLineBytes + 2)));
    v.setText(F::SidLine625Vitc, QString::number(byteAt(SidLineBytes + 1)));
    v.setText(F::SidLine625Pesa, QString::number(byteAt(SidLineBytes + 3)));

    choose(bit(image, DisplayFlags, 7), F::SdiOutputSid, F::SdiOutputSidAudio);
    choose(bit(image, DisplayFlags, 6), F::CompositeOutputSid, F::CompositeOutputSidAudio);
    choose(bit(image, DisplayFlags, 5), F::AudioBarVu, F::AudioBarPpm);
    const Field states[4][2] = {
        {F::AudioWindowOff, F::AudioWindowOn}, {F::SidWindowOff, F::SidWindowOn}, {F::TimeCodeWindowOff, F::TimeCodeWindowOn}, {F::StatusWindowOff, F::StatusWindowOn}};
    for (int i = 0; i < 4; ++i)
        choose(bit(image, DisplayFlags, 4 - i), states[i][0], states[i][1]);

    const Field positions[] = {F::SidWindowHorizontal, F::SidWindowVertical, F::TimeCodeWindowHorizontal, F::TimeCodeWindowVertical, F::StatusWindowHorizontal, F::StatusWindowVertical,
                               F::Gpi1MessageHorizontal, F::Gpi1MessageVertical, F::Gpi2MessageHorizontal, F::Gpi2MessageVertical, F::NoSidMessageHorizontal, F::NoSidMessageVertical};
    for (int i = 0; i < 6; ++i)
        v.setText(positions[i], QString::number(byteAt(WindowPositions + i)));

    choose(bit(image, ControlFlags, 7), F::MissingSidDisable, F::MissingSidEnable);
    v.setCheck(F::Gpi1DisplayMessage, bit(image, ControlFlags, 6));
    v.setCheck(F::Gpi1Blink, bit(image, ControlFlags, 5));
    v.setCheck(F::Gpi2DisplayMessage, bit(image, ControlFlags, 4));
    v.setCheck(F::Gpi2Blink, bit(image, ControlFlags, 3));
    choose(bit(image, ControlFlags, 2), F::DipSwitchesDisable, F::DipSwitchesEnable);
    v.setCheck(F::Gpi2TextOff, bit(image, ControlFlags, 1));
    v.setCheck(F::Gpi1TextOff, bit(image, ControlFlags, 0));

    for (int i = 6; i < 12; ++i)
        v.setText(positions[i], QString::number(byteAt(MessagePositions + i - 6)));

    v.setText(F::MissingSidMessage, textSlot(image, SidNotSlot));
    v.setText(F::Gpi1Text, textSlot(image, GpiText0Slot));
    v.setText(F::Gpi2Text, textSlot(image, GpiText1Slot));

    for (int i = 0; i < 6; ++i)
        v.setLevel(Sliders[i], byteAt(SliderBytes + i) - (isOffsetSlider(Sliders[i]) ? 128 : 0));
    return v;
}

QString applySetupImage(HeldSetup& held)
{
    const QByteArray& image = held.setupImage;
    if (image.size() >= 2 && image.at(1) != 0)
        return {};
    // A SID image is checked as a whole before any setting changes: a level index over 24, a
    // slider byte outside its slider or a short image refuses the image, naming the value, rather
    // than leaving the settings half the card's and half the old set-up's.
    const QString refusal = sidImageRefusal(image);
    if (refusal.isEmpty())
        held.fields.setValues(decodeSidImage(image, held.fields.values()));
    return refusal;
}

} // namespace quillon
