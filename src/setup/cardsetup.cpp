// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardsetup.h"

#include "numbers.h"

#include <stdexcept>

namespace quillon {

namespace {

constexpr const char* Audio = "audioSettingsWindow";
constexpr const char* Sid = "sourceIdSettingsWindow";
constexpr const char* Win = "onScreenSettingsWindow";
constexpr const char* Color = "colourSettingsWindow";
constexpr const char* Control = "controlSettingsWindow";

constexpr Range FineAdjust{-128, 127};
constexpr Range Horizontal{0, 39};
constexpr Range VerticalTyped{0, 29};
constexpr Range VerticalSpinner{0, 19};
constexpr Range SidLineLayout{10, 20};

QStringList levelItems()
{
    QStringList items;
    for (int k = 0; k <= 24; ++k) {
        const QString loss = k == 0 ? QStringLiteral("0dB") : QStringLiteral("-%1dB").arg(k);
        items << QStringLiteral("%1dBu  %2").arg(QString::number(24 - k), loss);
    }
    return items;
}

class FieldTable {
public:
    FieldTable();
    const std::array<FieldInfo, FieldCount>& fields() const { return fields_; }

private:
    void put(Field f, FieldKind kind, const char* name, const char* window, const QString& caption)
    {
        FieldInfo& info = fields_[indexOf(f)];
        info.field = f;
        info.kind = kind;
        info.name = name;
        info.window = window;
        info.caption = caption;
        info.partner = f;
    }
    void choice(Field f, const char* name, const char* window, const QString& caption,
                const QStringList& items)
    {
        put(f, FieldKind::Choice, name, window, caption);
        fields_[indexOf(f)].items = items;
    }
    void options(Field on, const char* onName, const QString& onCaption, Field off,
                 const char* offName, const QString& offCaption, const char* window)
    {
        put(on, FieldKind::Option, onName, window, onCaption);
        put(off, FieldKind::Option, offName, window, offCaption);
        fields_[indexOf(on)].partner = off;
        fields_[indexOf(off)].partner = on;
    }
    void number(Field f, const char* name, const char* window, const QString& caption, Range range,
                Range spinner)
    {
        put(f, FieldKind::Number, name, window, caption);
        fields_[indexOf(f)].range = range;
        fields_[indexOf(f)].spinner = spinner;
    }
    void text(Field f, const char* name, const char* window, const QString& caption, int maxTyped)
    {
        put(f, FieldKind::Text, name, window, caption);
        fields_[indexOf(f)].maxTyped = maxTyped;
    }
    void level(Field f, const char* name, const QString& caption, Range range)
    {
        put(f, FieldKind::Level, name, Color, caption);
        fields_[indexOf(f)].range = range;
    }
    void check(Field f, const char* name, const QString& caption)
    {
        put(f, FieldKind::Check, name, Control, caption);
    }

    std::array<FieldInfo, FieldCount> fields_{};
};

FieldTable::FieldTable()
{
    using F = Field;
    choice(F::AudioGroup, "audioSettingsWindow.audioGroup", Audio, "Group Select", {"1", "2", "3", "4"});
    options(F::AudioChannels12, "audioSettingsWindow.audioChannels12", "Channels: 1 and 2", F::AudioChannels34,
            "audioSettingsWindow.audioChannels34", "Channels: 3 and 4", Audio);
    options(F::ChannelSwapNo, "audioSettingsWindow.channelSwapNo", "CH1/CH2 Swap: No", F::ChannelSwapYes,
            "audioSettingsWindow.channelSwapYes", "CH1/CH2 Swap: Yes", Audio);
    options(F::OutputStereo, "audioSettingsWindow.outputStereo", "Output Mode: Stereo", F::OutputMono,
            "audioSettingsWindow.outputMono", "Output Mode: Mono", Audio);
    choice(F::PeakLevel, "audioSettingsWindow.peakLevel", Audio, "Level: Peak Analog", levelItems());
    number(F::FineAdjustChannel1, "audioSettingsWindow.fineAdjustChannel1", Audio, "Fine Channel Adjust: Channel 1",
           FineAdjust, FineAdjust);
    number(F::FineAdjustChannel2, "audioSettingsWindow.fineAdjustChannel2", Audio, "Fine Channel Adjust: Channel 2",
           FineAdjust, FineAdjust);
    number(F::FineAdjustA2, "audioSettingsWindow.fineAdjustA2", Audio, "Fine Channel Adjust: A2 (left)",
           FineAdjust, FineAdjust);
    number(F::FineAdjustB2, "audioSettingsWindow.fineAdjustB2", Audio, "Fine Channel Adjust: B2 (right)",
           FineAdjust, FineAdjust);

    level(F::TextBrightness, "colourSettingsWindow.textBrightness", "Text Brightness", {120, 235});
    level(F::BarBorderBrightness, "colourSettingsWindow.barBorderBrightness", "Bar Graph Border Brightness", {80, 235});
    level(F::OperatingRegion, "colourSettingsWindow.operatingRegion", "Operating Region", {-128, 127});
    level(F::WarningRegion, "colourSettingsWindow.warningRegion", "Warning Region", {-128, 127});
    level(F::ErrorRegion, "colourSettingsWindow.errorRegion", "Error Region", {-128, 127});
    level(F::Grey2, "colourSettingsWindow.grey2", "Grey 2 (red, error)", {0, 255});

    text(F::MissingSidMessage, "onScreenSettingsWindow.missingSidMessage", Win, "SID Window: Missing SID Message", 20);
    options(F::MissingSidEnable, "onScreenSettingsWindow.missingSidEnable", "SID Window: Missing SID Mode: Enable",
            F::MissingSidDisable, "onScreenSettingsWindow.missingSidDisable", "SID Window: Missing SID Mode: Disable", Win);

    text(F::Gpi1Text, "controlSettingsWindow.gpi1Text", Control, "Program GPI #1: Message Text", 15);
    check(F::Gpi1DisplayMessage, "controlSettingsWindow.gpi1DisplayMessage", "Program GPI #1: Display Message");
    check(F::Gpi1Blink, "controlSettingsWindow.gpi1Blink", "Program GPI #1: Blink MSG/SID");
    check(F::Gpi1TextOff, "controlSettingsWindow.gpi1TextOff", "Program GPI #1: Text Off (GPIs Excluded)");
    text(F::Gpi2Text, "controlSettingsWindow.gpi2Text", Control, "Program GPI #2: Message Text", 15);
    check(F::Gpi2DisplayMessage, "controlSettingsWindow.gpi2DisplayMessage", "Program GPI #2: Display Message");
    check(F::Gpi2Blink, "controlSettingsWindow.gpi2Blink", "Program GPI #2: Blink MSG/SID");
    check(F::Gpi2TextOff, "controlSettingsWindow.gpi2TextOff", "Program GPI #2: Text Off (GPIs Excluded)");
    options(F::DipSwitchesEnable, "controlSettingsWindow.dipSwitchesEnable", "DIP switches: Enable", F::DipSwitchesDisable,
            "controlSettingsWindow.dipSwitchesDisable", "DIP switches: Disable", Control);

    choice(F::VideoStandard, "sourceIdSettingsWindow.videoStandard", Sid, "Video Standard", {"525", "625", "Auto"});
    number(F::SidLine525Vitc, "sourceIdSettingsWindow.sidLine525Vitc", Sid, "SID Line 525: VITC", {10, 32}, SidLineLayout);
    number(F::SidLine525Pesa, "sourceIdSettingsWindow.sidLine525Pesa", Sid, "SID Line 525: PESA", {10, 21}, SidLineLayout);
    number(F::SidLine625Vitc, "sourceIdSettingsWindow.sidLine625Vitc", Sid, "SID Line 625: VITC", {6, 32}, SidLineLayout);
    number(F::SidLine625Pesa, "sourceIdSettingsWindow.sidLine625Pesa", Sid, "SID Line 625: PESA", {7, 22}, SidLineLayout);
    options(F::NtscPedestalOn, "sourceIdSettingsWindow.ntscPedestalOn", "NTSC setup pedestal: On", F::NtscPedestalOff,
            "sourceIdSettingsWindow.ntscPedestalOff", "NTSC setup pedestal: Off", Sid);
    options(F::CompositeColour, "sourceIdSettingsWindow.compositeColour", "Composite Display Mode: Color",
            F::CompositeBlackWhite, "sourceIdSettingsWindow.compositeBlackWhite", "Composite Display Mode: B/W", Sid);

    options(F::AudioBarVu, "onScreenSettingsWindow.audioBarVu", "Audio Window: Bar Mode: VU", F::AudioBarPpm, "onScreenSettingsWindow.audioBarPpm",
            "Audio Window: Bar Mode: PPM", Win);

    struct Item {
        Field on, off, hor, ver;
        const char *onName, *offName, *horName, *verName;
        const char* caption;
    };
    const Item windows[] = {
        {F::AudioWindowOn, F::AudioWindowOff, F::AudioWindowHorizontal, F::AudioWindowVertical, "onScreenSettingsWindow.audioWindowOn", "onScreenSettingsWindow.audioWindowOff",
         "onScreenSettingsWindow.audioWindowHorizontal", "onScreenSettingsWindow.audioWindowVertical", "Audio Window"},
        {F::SidWindowOn, F::SidWindowOff, F::SidWindowHorizontal, F::SidWindowVertical, "onScreenSettingsWindow.sidWindowOn", "onScreenSettingsWindow.sidWindowOff",
         "onScreenSettingsWindow.sidWindowHorizontal", "onScreenSettingsWindow.sidWindowVertical", "SID Window"},
        {F::TimeCodeWindowOn, F::TimeCodeWindowOff, F::TimeCodeWindowHorizontal, F::TimeCodeWindowVertical, "onScreenSettingsWindow.timeCodeWindowOn", "onScreenSettingsWindow.timeCodeWindowOff",
         "onScreenSettingsWindow.timeCodeWindowHorizontal", "onScreenSettingsWindow.timeCodeWindowVertical", "Time Code Window"},
        {F::StatusWindowOn, F::StatusWindowOff, F::StatusWindowHorizontal, F::StatusWindowVertical, "onScreenSettingsWindow.statusWindowOn", "onScreenSettingsWindow.statusWindowOff",
         "onScreenSettingsWindow.statusWindowHorizontal", "onScreenSettingsWindow.statusWindowVertical", "Status Window"},
    };
    for (const Item& w : windows) {
        const QString item = QString::fromLatin1(w.caption);
        options(w.on, w.onName, item + ": Window State: On", w.off, w.offName,
                item + ": Window State: Off", Win);
        number(w.hor, w.horName, Win, item + ": Window Position: Horizontal", Horizontal,
               Horizontal);
        number(w.ver, w.verName, Win, item + ": Window Position: Vertical", VerticalTyped,
               VerticalSpinner);
    }

    options(F::SdiOutputSid, "sourceIdSettingsWindow.sdiOutputSid", "Display: SDI Output: SID", F::SdiOutputSidAudio,
            "sourceIdSettingsWindow.sdiOutputSidAudio", "Display: SDI Output: SID + Audio", Sid);
    options(F::CompositeOutputSid, "sourceIdSettingsWindow.compositeOutputSid", "Display: Composite Output: SID", F::CompositeOutputSidAudio,
            "sourceIdSettingsWindow.compositeOutputSidAudio", "Display: Composite Output: SID + Audio", Sid);

    const struct {
        Field hor, ver;
        const char *horName, *verName, *caption;
    } messages[] = {
        {F::Gpi1MessageHorizontal, F::Gpi1MessageVertical, "onScreenSettingsWindow.gpi1MessageHorizontal", "onScreenSettingsWindow.gpi1MessageVertical", "GPI #1"},
        {F::Gpi2MessageHorizontal, F::Gpi2MessageVertical, "onScreenSettingsWindow.gpi2MessageHorizontal", "onScreenSettingsWindow.gpi2MessageVertical", "GPI #2"},
        {F::NoSidMessageHorizontal, F::NoSidMessageVertical, "onScreenSettingsWindow.noSidMessageHorizontal", "onScreenSettingsWindow.noSidMessageVertical", "NO SID"},
    };
    for (const auto& m : messages) {
        const QString item = QString::fromLatin1(m.caption);
        number(m.hor, m.horName, Win, item + ": Horizontal", Horizontal, Horizontal);
        number(m.ver, m.verName, Win, item + ": Vertical", VerticalTyped, VerticalSpinner);
    }
}

const FieldTable& table()
{
    static const FieldTable instance;
    return instance;
}

bool isSidLine(Field f)
{
    return f == Field::SidLine525Vitc || f == Field::SidLine525Pesa || f == Field::SidLine625Vitc || f == Field::SidLine625Pesa;
}

} // namespace

const FieldInfo& fieldInfo(Field field)
{
    return table().fields().at(indexOf(field));
}

const std::array<FieldInfo, FieldCount>& allFields()
{
    return table().fields();
}

QString windowCaption(const char* window)
{
    const QString name = QString::fromLatin1(window);
    if (name == QLatin1String(Audio))
        return QStringLiteral("Set-up Audio");
    if (name == QLatin1String(Sid))
        return QStringLiteral("Set-up Source ID");
    if (name == QLatin1String(Win))
        return QStringLiteral("Set-up Windows");
    if (name == QLatin1String(Color))
        return QStringLiteral("Set-up Colors");
    if (name == QLatin1String(Control))
        return QStringLiteral("Set-up Controls");
    return name;
}

QString describeField(Field field)
{
    const FieldInfo& info = fieldInfo(field);
    return QStringLiteral("\"%1\" (%2)").arg(info.caption, windowCaption(info.window));
}

QString choiceText(Field field, int index)
{
    const QStringList& items = fieldInfo(field).items;
    return index >= 0 && index < items.size() ? items.at(index) : QString();
}

SetupValueError::SetupValueError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

SetupValues::SetupValues()
{
    // What each control holds as the windows are laid out, before any set-up reaches them.
    for (const FieldInfo& info : allFields()) {
        switch (info.kind) {
        case FieldKind::Choice:
            ints_[indexOf(info.field)] = -1;
            break;
        case FieldKind::Level:
            ints_[indexOf(info.field)] = info.range.contains(0) ? 0 : info.range.min;
            break;
        case FieldKind::Number:
            texts_[indexOf(info.field)] = isSidLine(info.field) ? QStringLiteral("10")
                                                                  : QStringLiteral("0");
            break;
        default:
            break;
        }
    }
    for (Field f : {Field::FineAdjustChannel1, Field::FineAdjustChannel2, Field::FineAdjustA2, Field::FineAdjustB2})
        texts_[indexOf(f)] = QStringLiteral("Text1");
    texts_[indexOf(Field::Gpi1Text)] = QStringLiteral("On Air");
    texts_[indexOf(Field::Gpi2Text)] = QStringLiteral("Replay");
    // Groups the layout sets; the others start with their first button on.
    for (Field f : {Field::AudioChannels12, Field::ChannelSwapNo, Field::OutputStereo, Field::MissingSidEnable,
                    Field::DipSwitchesEnable, Field::NtscPedestalOn, Field::CompositeColour, Field::AudioBarVu,
                    Field::AudioWindowOn, Field::SidWindowOn, Field::TimeCodeWindowOn, Field::StatusWindowOn, Field::SdiOutputSid, Field::CompositeOutputSid})
        ints_[indexOf(f)] = 1;
}

void SetupValues::requireKind(Field f, FieldKind kind) const
{
    const FieldKind actual = fieldInfo(f).kind;
    const bool textual = kind == FieldKind::Text
        && (actual == FieldKind::Text || actual == FieldKind::Number);
    if (actual != kind && !textual)
        throw std::logic_error(std::string("wrong kind of access to ") + fieldInfo(f).name);
}

int SetupValues::choice(Field f) const
{
    requireKind(f, FieldKind::Choice);
    return ints_[indexOf(f)];
}

bool SetupValues::option(Field f) const
{
    requireKind(f, FieldKind::Option);
    return ints_[indexOf(f)] != 0;
}

int SetupValues::check(Field f) const
{
    requireKind(f, FieldKind::Check);
    return ints_[indexOf(f)];
}

QString SetupValues::text(Field f) const
{
    requireKind(f, FieldKind::Text);
    return texts_[indexOf(f)];
}

int SetupValues::level(Field f) const
{
    requireKind(f, FieldKind::Level);
    return ints_[indexOf(f)];
}

double SetupValues::number(Field f) const
{
    requireKind(f, FieldKind::Number);
    return leadingNumber(texts_[indexOf(f)]);
}

void SetupValues::setChoice(Field f, int index)
{
    requireKind(f, FieldKind::Choice);
    const int last = int(fieldInfo(f).items.size()) - 1;
    if (index < -1 || index > last) {
        throw SetupValueError(QStringLiteral("%1 cannot be %2: its list has items 0 to %3 "
                                             "(-1 for none).")
                                  .arg(describeField(f), QString::number(index),
                                       QString::number(last)));
    }
    ints_[indexOf(f)] = index;
    if (f == Field::VideoStandard)
        standardChosen();
}

void SetupValues::setOption(Field f, bool on)
{
    requireKind(f, FieldKind::Option);
    ints_[indexOf(f)] = on ? 1 : 0;
    if (on)
        ints_[indexOf(fieldInfo(f).partner)] = 0;
}

void SetupValues::setCheck(Field f, int state)
{
    requireKind(f, FieldKind::Check);
    if (state < 0 || state > 2) {
        throw SetupValueError(QStringLiteral("%1 cannot be %2: a check box is 0 (unchecked), "
                                             "1 (checked) or 2 (grey).")
                                  .arg(describeField(f), QString::number(state)));
    }
    ints_[indexOf(f)] = state;
}

void SetupValues::setText(Field f, const QString& text)
{
    requireKind(f, FieldKind::Text);
    texts_[indexOf(f)] = text;
}

void SetupValues::setLevel(Field f, int value)
{
    requireKind(f, FieldKind::Level);
    const Range range = fieldInfo(f).range;
    if (!range.contains(value)) {
        throw SetupValueError(QStringLiteral("%1 cannot be %2: its slider runs from %3 to %4.")
                                  .arg(describeField(f), QString::number(value),
                                       QString::number(range.min), QString::number(range.max)));
    }
    ints_[indexOf(f)] = value;
}

Range SetupValues::spinnerRange(Field f) const
{
    requireKind(f, FieldKind::Number);
    const FieldInfo& info = fieldInfo(f);
    return isSidLine(f) && sidLineLimitsSet_ ? info.range : info.spinner;
}

void SetupValues::setupSidLines()
{
    sidLineLimitsSet_ = true;
    const bool standard525 = ints_[indexOf(Field::VideoStandard)] == 0;
    if (standard525 && number(Field::SidLine525Vitc) > 20)
        texts_[indexOf(Field::SidLine525Vitc)] = QStringLiteral("20");
    // Below the range it goes to 20 as well, not to 10: the card's own choice.
    if (standard525 && number(Field::SidLine525Vitc) < 10)
        texts_[indexOf(Field::SidLine525Vitc)] = QStringLiteral("20");
}

void SetupValues::standardChosen()
{
    setupSidLines();
    texts_[indexOf(Field::SidLine525Vitc)] = QStringLiteral("20");
    texts_[indexOf(Field::SidLine525Pesa)] = QStringLiteral("21");
    texts_[indexOf(Field::SidLine625Vitc)] = QStringLiteral("20");
    texts_[indexOf(Field::SidLine625Pesa)] = QStringLiteral("21");
}

QString SetupValues::displayValue(Field f) const
{
    const int i = indexOf(f);
    switch (fieldInfo(f).kind) {
    case FieldKind::Option:
        return ints_[i] ? QStringLiteral("#TRUE#") : QStringLiteral("#FALSE#");
    case FieldKind::Number:
    case FieldKind::Text:
        return texts_[i];
    default:
        return QString::number(ints_[i]);
    }
}

bool SetupValues::operator==(const SetupValues& other) const
{
    return ints_ == other.ints_ && texts_ == other.texts_;
}

CardSetup::CardSetup(QObject* parent)
    : QObject(parent)
{
}

void CardSetup::setValues(const SetupValues& values)
{
    const SetupValues before = values_;
    values_ = values;
    for (const FieldInfo& info : allFields()) {
        if (before.displayValue(info.field) != values_.displayValue(info.field))
            Q_EMIT fieldChanged(info.field);
    }
    for (Field line : {Field::SidLine525Vitc, Field::SidLine525Pesa, Field::SidLine625Vitc, Field::SidLine625Pesa}) {
        const Range was = before.spinnerRange(line);
        const Range now = values_.spinnerRange(line);
        if (was.min != now.min || was.max != now.max) {
            Q_EMIT spinnerRangesChanged();
            break;
        }
    }
}

void CardSetup::edit(const std::function<void(SetupValues&)>& change)
{
    SetupValues changed = values_;
    change(changed); // throws before anything is committed
    setValues(changed);
}

} // namespace quillon
