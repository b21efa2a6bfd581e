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

const Field SidLinesInImageOrder[] = {F::tVITC0, F::tVITC1, F::tPesa0, F::tPesa1};
const Field FineAdjusts[] = {F::tA1Left0, F::tB1Right0, F::tA1Left1, F::tB1Right1};
const Field Sliders[] = {F::Slider1_0, F::Slider1_1, F::Slider1_2,
                         F::Slider1_3, F::Slider1_4, F::Slider1_5};

bool isOffsetSlider(Field f)
{
    return f == F::Slider1_2 || f == F::Slider1_3 || f == F::Slider1_4;
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
        const int group = v_.choice(F::cGroup);
        if (group >= 0)
            add(AudioFlags, group * 64);
        add(AudioFlags, unlessFirst(F::cChannel12, F::cChannel34, 32));
        add(AudioFlags, unlessFirst(F::oLRSwapNo, F::oLRSwapYES, 16));
        add(AudioFlags, unlessFirst(F::oStereo, F::oMono, 12));

        const int level = v_.choice(F::cLevel);
        image_[LevelByte] = char(level < 0 ? -level : level);

        for (int i = 0; i < 4; ++i)
            putNumber(FineAdjustBytes + i, FineAdjusts[i], -128, 127);
    }

    void encodeVideo()
    {
        const int standard = v_.choice(F::cStandard);
        if (standard >= 0)
            add(VideoFlags, standard * 64);
        if (v_.option(F::oNTSCspOn))
            add(VideoFlags, 32);
        add(VideoFlags, unlessFirst(F::oCompDispColor, F::oCompDispBW, 16));

        for (int i = 0; i < 4; ++i)
            putNumber(SidLineBytes + i, SidLinesInImageOrder[i], 0, 255);
    }

    void encodeWindows()
    {
        add(DisplayFlags, unlessFirst(F::oSID0, F::oSIDwA0, 128));
        add(DisplayFlags, unlessFirst(F::oSID1, F::oSIDwA1, 64));
        add(DisplayFlags, unlessFirst(F::oVU, F::oPPM, 32));
        const Field states[4][2] = {
            {F::oOff0, F::oOn0}, {F::oOff1, F::oOn1}, {F::oOff2, F::oOn2}, {F::oOff3, F::oOn3}};
        for (int i = 0; i < 4; ++i)
            add(DisplayFlags, unlessFirst(states[i][0], states[i][1], 16 >> i));

        for (int i = 0; i < 8; ++i)
            image_[FixedStart + i] = char(FixedBytes[i]);

        const Field positions[] = {F::tHor1, F::tVer1, F::tHor2, F::tVer2, F::tHor3, F::tVer3};
        for (int i = 0; i < 6; ++i)
            putNumber(WindowPositions + i, positions[i], 0, 255);

        if (v_.option(F::oSIDNotEn))
            add(ControlFlags, 128);
        const std::pair<Field, int> checks[] = {{F::cGPI1_0, 64}, {F::cGPI1_1, 32},
                                                {F::cGPI2_0, 16}, {F::cGPI2_1, 8},
                                                {F::cGPI1_2, 1},  {F::cGPI2_2, 2}};
        for (const auto& [field, bit] : checks) {
            if (v_.check(field) == 1)
                add(ControlFlags, bit);
        }
        if (v_.option(F::oDIPEn))
            add(ControlFlags, 4);

        // The NO SID message goes where the SID window is.
        const Field messages[] = {F::tHor4, F::tVer4, F::tHor5, F::tVer5, F::tHor1, F::tVer1};
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
        putText(SidNotSlot, F::tSIDNot);
        putText(GpiText0Slot, F::tGPIText0);
        putText(GpiText1Slot, F::tGPIText1);
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

    v.setText(F::tGPIText0, QStringLiteral("RECORD"));
    v.setText(F::tGPIText1, QStringLiteral("REPLAY"));
    v.setCheck(F::cGPI1_0, 1);
    v.setCheck(F::cGPI1_1, 0);
    v.setCheck(F::cGPI1_2, 0);
    v.setCheck(F::cGPI2_0, 1);
    v.setCheck(F::cGPI2_1, 0);
    v.setCheck(F::cGPI2_2, 0);
    v.setOption(F::oDIPDis, true);

    v.setChoice(F::cStandard, 2); // resets the four line numbers, set right after
    v.setOption(F::oNTSCspOn, true);
    v.setOption(F::oCompDispColor, true);
    v.setText(F::tVITC0, QStringLiteral("10"));
    v.setText(F::tPesa0, QStringLiteral("11"));
    v.setText(F::tVITC1, QStringLiteral("10"));
    v.setText(F::tPesa1, QStringLiteral("11"));
    v.setOption(F::oSID0, false);
    v.setOption(F::oSID1, false);
    v.setOption(F::oSIDwA0, true);
    v.setOption(F::oSIDwA1, true);

    v.setText(F::tSIDNot, QStringLiteral("NO AVM"));
    v.setOption(F::oSIDNotEn, true);
    v.setOption(F::oPPM, true);
    const std::pair<Field, const char*> positions[] = {
        {F::tHor0, "12"}, {F::tVer0, "12"}, {F::tHor1, "22"}, {F::tVer1, "4"},
        {F::tHor2, "10"}, {F::tVer2, "11"}, {F::tHor3, "12"}, {F::tVer3, "11"},
        {F::tHor5, "20"}, {F::tVer5, "0"},  {F::tHor4, "10"}, {F::tVer4, "0"},
        {F::tHor6, "22"}, {F::tVer6, "4"}};
    for (const auto& [field, text] : positions)
        v.setText(field, QString::fromLatin1(text));
    for (Field on : {F::oOn0, F::oOn1, F::oOn2, F::oOn3})
        v.setOption(on, true);

    v.setChoice(F::cGroup, 0);
    v.setChoice(F::cLevel, 10);
    v.setOption(F::cChannel12, true);
    v.setOption(F::oLRSwapNo, true);
    v.setOption(F::oStereo, true);
    for (Field f : FineAdjusts)
        v.setText(f, QStringLiteral("0"));
    return v;
}

void LoadDefaultConfig(CardSetup& fields)
{
    fields.setValues(defaultSetupValues());
}

void InitTransferBuffers(HeldSetup& held)
{
    held.SetupImage = HeldSetup::emptySidImage();
}

EncodeResult encodeSidImage(const SetupValues& values)
{
    return Encoder(values).run();
}

int BuildSetupImage(HeldSetup& held, std::optional<quint8> cardVersion, OperatorUi& ui)
{
    if (cardVersion) {
        const bool sidCard = *cardVersion == 0;
        if (sidCard && held.LoadedCardType == CardType::AVM) {
            ui.message(QStringLiteral("AVM configuration Loaded, SID card connected"));
            return 0;
        }
        if (!sidCard && held.LoadedCardType == CardType::SID) {
            ui.message(QStringLiteral("SID configuration Loaded, AVM card connected"));
            return 0;
        }
    }

    if (held.ConnectedCardType == CardType::AVM) {
        const QByteArray& image = held.SetupImage;
        if (image.size() <= SidImageSize) {
            ui.message(QStringLiteral("Configuration not loaded, Please Extract or Load a "
                                      "KX40AVM configuration."));
            return 0;
        }
        if (quint8(image.at(0)) == SetupDataCommand && image.at(1) != 0)
            return 1;
        ui.message(QStringLiteral("Corrupt Configuration, Please Extract or Load a KX40AVM "
                                  "configuration."));
        return 0;
    }

    // Built aside and swapped in whole: a refused set-up leaves the held image as it was, and
    // a built one is exactly 89 bytes, whatever the array held before.
    const EncodeResult built = encodeSidImage(held.fields.values());
    if (!built.error.isEmpty()) {
        ui.message(built.error);
        return 0;
    }
    held.SetupImage = built.image;
    return 1;
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
            .arg(QString::number(level), describeField(F::cLevel));
    }
    for (Field f : {F::Slider1_0, F::Slider1_1}) {
        const int value = quint8(image.at(SliderBytes + (f == F::Slider1_0 ? 0 : 1)));
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

    v.setChoice(F::cGroup, bit(image, AudioFlags, 7) * 2 + bit(image, AudioFlags, 6));
    choose(bit(image, AudioFlags, 5), F::cChannel12, F::cChannel34);
    choose(bit(image, AudioFlags, 4), F::oLRSwapNo, F::oLRSwapYES);
    choose(bit(image, AudioFlags, 3), F::oStereo, F::oMono); // bit 3 alone means Mono

    v.setChoice(F::cLevel, byteAt(LevelByte));
    for (int i = 0; i < 4; ++i)
        v.setText(FineAdjusts[i], QString::number(qint8(byteAt(FineAdjustBytes + i))));

    const int standard = byteAt(VideoFlags) >> 6;
    if (standard != 3) // never written by an encoder: the standard stays as it was
        v.setChoice(F::cStandard, standard);
    choose(bit(image, VideoFlags, 5), F::oNTSCspOff, F::oNTSCspOn);
    choose(bit(image, VideoFlags, 4), F::oCompDispColor, F::oCompDispBW);

    v.setText(F::tVITC0, QString::number(byteAt(SidLineBytes)));
    v.setText(F::tPesa0, QString::number(byteAt(SidLineBytes + 2)));
    v.setText(F::tVITC1, QString::number(byteAt(SidLineBytes + 1)));
    v.setText(F::tPesa1, QString::number(byteAt(SidLineBytes + 3)));

    choose(bit(image, DisplayFlags, 7), F::oSID0, F::oSIDwA0);
    choose(bit(image, DisplayFlags, 6), F::oSID1, F::oSIDwA1);
    choose(bit(image, DisplayFlags, 5), F::oVU, F::oPPM);
    const Field states[4][2] = {
        {F::oOff0, F::oOn0}, {F::oOff1, F::oOn1}, {F::oOff2, F::oOn2}, {F::oOff3, F::oOn3}};
    for (int i = 0; i < 4; ++i)
        choose(bit(image, DisplayFlags, 4 - i), states[i][0], states[i][1]);

    const Field positions[] = {F::tHor1, F::tVer1, F::tHor2, F::tVer2, F::tHor3, F::tVer3,
                               F::tHor4, F::tVer4, F::tHor5, F::tVer5, F::tHor6, F::tVer6};
    for (int i = 0; i < 6; ++i)
        v.setText(positions[i], QString::number(byteAt(WindowPositions + i)));

    choose(bit(image, ControlFlags, 7), F::oSIDNotDis, F::oSIDNotEn);
    v.setCheck(F::cGPI1_0, bit(image, ControlFlags, 6));
    v.setCheck(F::cGPI1_1, bit(image, ControlFlags, 5));
    v.setCheck(F::cGPI2_0, bit(image, ControlFlags, 4));
    v.setCheck(F::cGPI2_1, bit(image, ControlFlags, 3));
    choose(bit(image, ControlFlags, 2), F::oDIPDis, F::oDIPEn);
    v.setCheck(F::cGPI2_2, bit(image, ControlFlags, 1));
    v.setCheck(F::cGPI1_2, bit(image, ControlFlags, 0));

    for (int i = 6; i < 12; ++i)
        v.setText(positions[i], QString::number(byteAt(MessagePositions + i - 6)));

    v.setText(F::tSIDNot, textSlot(image, SidNotSlot));
    v.setText(F::tGPIText0, textSlot(image, GpiText0Slot));
    v.setText(F::tGPIText1, textSlot(image, GpiText1Slot));

    for (int i = 0; i < 6; ++i)
        v.setLevel(Sliders[i], byteAt(SliderBytes + i) - (isOffsetSlider(Sliders[i]) ? 128 : 0));
    return v;
}

bool ApplySetupImage(HeldSetup& held, OperatorUi& ui)
{
    const QByteArray& image = held.SetupImage;
    if (image.size() >= 2 && image.at(1) != 0) {
        ui.status(1, QStringLiteral("AVM Config Loaded"));
        return true;
    }
    // A SID image is checked as a whole before any setting changes: a level index over 24, a
    // slider byte outside its slider or a short image refuses the image with a message naming
    // the value, rather than leaving the settings half the card's and half the old set-up's.
    const QString refusal = sidImageRefusal(image);
    if (!refusal.isEmpty()) {
        ui.message(refusal);
        return false;
    }
    held.fields.setValues(decodeSidImage(image, held.fields.values()));
    ui.status(1, QStringLiteral("SID Config Loaded"));
    return true;
}

} // namespace quillon
