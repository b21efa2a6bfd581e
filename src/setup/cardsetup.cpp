#include "cardsetup.h"

#include "numbers.h"

#include <stdexcept>

namespace quillon {

namespace {

constexpr const char* Audio = "frmAudioConfig";
constexpr const char* Sid = "frmSIDConfig";
constexpr const char* Win = "frmWinConfig";
constexpr const char* Color = "frmColorConfig";
constexpr const char* Control = "frmControlConfig";

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
    void put(Field f, FieldKind kind, const char* name, const char* form, const QString& caption)
    {
        FieldInfo& info = fields_[indexOf(f)];
        info.field = f;
        info.kind = kind;
        info.name = name;
        info.form = form;
        info.caption = caption;
        info.partner = f;
    }
    void choice(Field f, const char* name, const char* form, const QString& caption,
                const QStringList& items)
    {
        put(f, FieldKind::Choice, name, form, caption);
        fields_[indexOf(f)].items = items;
    }
    void options(Field on, const char* onName, const QString& onCaption, Field off,
                 const char* offName, const QString& offCaption, const char* form)
    {
        put(on, FieldKind::Option, onName, form, onCaption);
        put(off, FieldKind::Option, offName, form, offCaption);
        fields_[indexOf(on)].partner = off;
        fields_[indexOf(off)].partner = on;
    }
    void number(Field f, const char* name, const char* form, const QString& caption, Range range,
                Range spinner)
    {
        put(f, FieldKind::Number, name, form, caption);
        fields_[indexOf(f)].range = range;
        fields_[indexOf(f)].spinner = spinner;
    }
    void text(Field f, const char* name, const char* form, const QString& caption, int maxTyped)
    {
        put(f, FieldKind::Text, name, form, caption);
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
    choice(F::cGroup, "frmAudioConfig.cGroup", Audio, "Group Select", {"1", "2", "3", "4"});
    options(F::cChannel12, "frmAudioConfig.cChannel12", "Channels: 1 and 2", F::cChannel34,
            "frmAudioConfig.cChannel34", "Channels: 3 and 4", Audio);
    options(F::oLRSwapNo, "frmAudioConfig.oLRSwapNo", "CH1/CH2 Swap: No", F::oLRSwapYES,
            "frmAudioConfig.oLRSwapYES", "CH1/CH2 Swap: Yes", Audio);
    options(F::oStereo, "frmAudioConfig.oStereo", "Output Mode: Stereo", F::oMono,
            "frmAudioConfig.oMono", "Output Mode: Mono", Audio);
    choice(F::cLevel, "frmAudioConfig.cLevel", Audio, "Level: Peak Analog", levelItems());
    number(F::tA1Left0, "frmAudioConfig.tA1Left(0)", Audio, "Fine Channel Adjust: Channel 1",
           FineAdjust, FineAdjust);
    number(F::tB1Right0, "frmAudioConfig.tB1Right(0)", Audio, "Fine Channel Adjust: Channel 2",
           FineAdjust, FineAdjust);
    number(F::tA1Left1, "frmAudioConfig.tA1Left(1)", Audio, "Fine Channel Adjust: A2 (left)",
           FineAdjust, FineAdjust);
    number(F::tB1Right1, "frmAudioConfig.tB1Right(1)", Audio, "Fine Channel Adjust: B2 (right)",
           FineAdjust, FineAdjust);

    level(F::Slider1_0, "frmColorConfig.Slider1(0)", "Text Brightness", {120, 235});
    level(F::Slider1_1, "frmColorConfig.Slider1(1)", "Bar Graph Border Brightness", {80, 235});
    level(F::Slider1_2, "frmColorConfig.Slider1(2)", "Operating Region", {-128, 127});
    level(F::Slider1_3, "frmColorConfig.Slider1(3)", "Warning Region", {-128, 127});
    level(F::Slider1_4, "frmColorConfig.Slider1(4)", "Error Region", {-128, 127});
    level(F::Slider1_5, "frmColorConfig.Slider1(5)", "Grey 2 (red, error)", {0, 255});

    text(F::tSIDNot, "frmWinConfig.tSIDNot", Win, "SID Window: Missing SID Message", 20);
    options(F::oSIDNotEn, "frmWinConfig.oSIDNotEn", "SID Window: Missing SID Mode: Enable",
            F::oSIDNotDis, "frmWinConfig.oSIDNotDis", "SID Window: Missing SID Mode: Disable", Win);

    text(F::tGPIText0, "frmControlConfig.tGPIText(0)", Control, "Program GPI #1: Message Text", 15);
    check(F::cGPI1_0, "frmControlConfig.cGPI1(0)", "Program GPI #1: Display Message");
    check(F::cGPI1_1, "frmControlConfig.cGPI1(1)", "Program GPI #1: Blink MSG/SID");
    check(F::cGPI1_2, "frmControlConfig.cGPI1(2)", "Program GPI #1: Text Off (GPIs Excluded)");
    text(F::tGPIText1, "frmControlConfig.tGPIText(1)", Control, "Program GPI #2: Message Text", 15);
    check(F::cGPI2_0, "frmControlConfig.cGPI2(0)", "Program GPI #2: Display Message");
    check(F::cGPI2_1, "frmControlConfig.cGPI2(1)", "Program GPI #2: Blink MSG/SID");
    check(F::cGPI2_2, "frmControlConfig.cGPI2(2)", "Program GPI #2: Text Off (GPIs Excluded)");
    options(F::oDIPEn, "frmControlConfig.oDIPEn", "DIP switches: Enable", F::oDIPDis,
            "frmControlConfig.oDIPDis", "DIP switches: Disable", Control);

    choice(F::cStandard, "frmSIDConfig.cStandard", Sid, "Video Standard", {"525", "625", "Auto"});
    number(F::tVITC0, "frmSIDConfig.tVITC(0)", Sid, "SID Line 525: VITC", {10, 32}, SidLineLayout);
    number(F::tPesa0, "frmSIDConfig.tPesa(0)", Sid, "SID Line 525: PESA", {10, 21}, SidLineLayout);
    number(F::tVITC1, "frmSIDConfig.tVITC(1)", Sid, "SID Line 625: VITC", {6, 32}, SidLineLayout);
    number(F::tPesa1, "frmSIDConfig.tPesa(1)", Sid, "SID Line 625: PESA", {7, 22}, SidLineLayout);
    options(F::oNTSCspOn, "frmSIDConfig.oNTSCspOn", "NTSC setup pedestal: On", F::oNTSCspOff,
            "frmSIDConfig.oNTSCspOff", "NTSC setup pedestal: Off", Sid);
    options(F::oCompDispColor, "frmSIDConfig.oCompDispColor", "Composite Display Mode: Color",
            F::oCompDispBW, "frmSIDConfig.oCompDispBW", "Composite Display Mode: B/W", Sid);

    options(F::oVU, "frmWinConfig.oVU", "Audio Window: Bar Mode: VU", F::oPPM, "frmWinConfig.oPPM",
            "Audio Window: Bar Mode: PPM", Win);

    struct Item {
        Field on, off, hor, ver;
        const char *onName, *offName, *horName, *verName;
        const char* caption;
    };
    const Item windows[] = {
        {F::oOn0, F::oOff0, F::tHor0, F::tVer0, "frmWinConfig.oOn(0)", "frmWinConfig.oOff(0)",
         "frmWinConfig.tHor(0)", "frmWinConfig.tVer(0)", "Audio Window"},
        {F::oOn1, F::oOff1, F::tHor1, F::tVer1, "frmWinConfig.oOn(1)", "frmWinConfig.oOff(1)",
         "frmWinConfig.tHor(1)", "frmWinConfig.tVer(1)", "SID Window"},
        {F::oOn2, F::oOff2, F::tHor2, F::tVer2, "frmWinConfig.oOn(2)", "frmWinConfig.oOff(2)",
         "frmWinConfig.tHor(2)", "frmWinConfig.tVer(2)", "Time Code Window"},
        {F::oOn3, F::oOff3, F::tHor3, F::tVer3, "frmWinConfig.oOn(3)", "frmWinConfig.oOff(3)",
         "frmWinConfig.tHor(3)", "frmWinConfig.tVer(3)", "Status Window"},
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

    options(F::oSID0, "frmSIDConfig.oSID(0)", "Display: SDI Output: SID", F::oSIDwA0,
            "frmSIDConfig.oSIDwA(0)", "Display: SDI Output: SID + Audio", Sid);
    options(F::oSID1, "frmSIDConfig.oSID(1)", "Display: Composite Output: SID", F::oSIDwA1,
            "frmSIDConfig.oSIDwA(1)", "Display: Composite Output: SID + Audio", Sid);

    const struct {
        Field hor, ver;
        const char *horName, *verName, *caption;
    } messages[] = {
        {F::tHor4, F::tVer4, "frmWinConfig.tHor(4)", "frmWinConfig.tVer(4)", "GPI #1"},
        {F::tHor5, F::tVer5, "frmWinConfig.tHor(5)", "frmWinConfig.tVer(5)", "GPI #2"},
        {F::tHor6, F::tVer6, "frmWinConfig.tHor(6)", "frmWinConfig.tVer(6)", "NO SID"},
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
    return f == Field::tVITC0 || f == Field::tPesa0 || f == Field::tVITC1 || f == Field::tPesa1;
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

QString formCaption(const char* form)
{
    const QString name = QString::fromLatin1(form);
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
    return QStringLiteral("\"%1\" (%2)").arg(info.caption, QString::fromLatin1(info.name));
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
    for (Field f : {Field::tA1Left0, Field::tB1Right0, Field::tA1Left1, Field::tB1Right1})
        texts_[indexOf(f)] = QStringLiteral("Text1");
    texts_[indexOf(Field::tGPIText0)] = QStringLiteral("On Air");
    texts_[indexOf(Field::tGPIText1)] = QStringLiteral("Replay");
    // Groups the layout sets; the others start with their first button on.
    for (Field f : {Field::cChannel12, Field::oLRSwapNo, Field::oStereo, Field::oSIDNotEn,
                    Field::oDIPEn, Field::oNTSCspOn, Field::oCompDispColor, Field::oVU,
                    Field::oOn0, Field::oOn1, Field::oOn2, Field::oOn3, Field::oSID0, Field::oSID1})
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
    if (f == Field::cStandard)
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
    const bool standard525 = ints_[indexOf(Field::cStandard)] == 0;
    if (standard525 && number(Field::tVITC0) > 20)
        texts_[indexOf(Field::tVITC0)] = QStringLiteral("20");
    // Below the range it goes to 20 as well, not to 10: the card's own choice.
    if (standard525 && number(Field::tVITC0) < 10)
        texts_[indexOf(Field::tVITC0)] = QStringLiteral("20");
}

void SetupValues::standardChosen()
{
    setupSidLines();
    texts_[indexOf(Field::tVITC0)] = QStringLiteral("20");
    texts_[indexOf(Field::tPesa0)] = QStringLiteral("21");
    texts_[indexOf(Field::tVITC1)] = QStringLiteral("20");
    texts_[indexOf(Field::tPesa1)] = QStringLiteral("21");
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
    for (Field line : {Field::tVITC0, Field::tPesa0, Field::tVITC1, Field::tPesa1}) {
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
