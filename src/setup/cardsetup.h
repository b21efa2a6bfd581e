#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <stdexcept>

namespace quillon {

// The 68 settings of a SID card, in the order of the lines of a SID set-up file.
// Names follow the control that shows them: tA1Left0 is frmAudioConfig.tA1Left(0).
enum class Field : int {
    cGroup, cChannel12, cChannel34, oLRSwapNo, oLRSwapYES, oStereo, oMono, cLevel,
    tA1Left0, tB1Right0, tA1Left1, tB1Right1,
    Slider1_0, Slider1_1, Slider1_2, Slider1_3, Slider1_4, Slider1_5,
    tSIDNot, oSIDNotEn, oSIDNotDis,
    tGPIText0, cGPI1_0, cGPI1_1, cGPI1_2,
    tGPIText1, cGPI2_0, cGPI2_1, cGPI2_2,
    oDIPEn, oDIPDis,
    cStandard, tVITC0, tPesa0, tVITC1, tPesa1,
    oNTSCspOn, oNTSCspOff, oCompDispColor, oCompDispBW,
    oVU, oPPM,
    oOn0, oOff0, tHor0, tVer0,
    oOn1, oOff1, tHor1, tVer1,
    oOn2, oOff2, tHor2, tVer2,
    oOn3, oOff3, tHor3, tVer3,
    oSID0, oSIDwA0, oSID1, oSIDwA1,
    tHor4, tVer4, tHor5, tVer5, tHor6, tVer6,
};
inline constexpr int FieldCount = 68;
inline constexpr int indexOf(Field f) { return static_cast<int>(f); }
inline constexpr Field fieldAt(int index) { return static_cast<Field>(index); }

enum class FieldKind {
    Choice, // drop-down list: item index, -1 = nothing chosen
    Option, // one button of a group of two: on/off; setting it on clears its partner
    Check,  // check box: 0 unchecked, 1 checked, 2 grey; only 1 is on
    Number, // text box with up-down spinner: the text as shown; its value is leadingNumber()
    Text,   // text box
    Level,  // slider: an integer within [min, max]
};

struct Range {
    int min = 0;
    int max = 0;
    bool contains(int v) const { return v >= min && v <= max; }
};

struct FieldInfo {
    Field field;
    FieldKind kind;
    const char* name;      // "frmAudioConfig.tA1Left(0)"
    const char* form;      // "frmAudioConfig"
    QString caption;       // what the window shows for it, e.g. "Fine Channel Adjust: Channel 1"
    QStringList items;     // Choice: the list items
    Field partner;         // Option: the other button of the group (itself otherwise)
    Range range;           // Level: slider range. Number: range enforced when its box is left
                           // (the SID lines: the limits SetupSidLines sets)
    Range spinner;         // Number: the up-down spinner's range (SID lines: see spinnerRange())
    int maxTyped = 0;      // Text: longest text the operator may type (0 = no limit)
};

const FieldInfo& fieldInfo(Field field);
const std::array<FieldInfo, FieldCount>& allFields();
QString formCaption(const char* form); // "frmAudioConfig" -> "Set-up Audio"
// How messages name a setting: its caption, then its field name in brackets.
QString describeField(Field field);
// The text a choice field shows for an index: its item, or an empty text for -1.
QString choiceText(Field field, int index);

// A value that a control could not hold (a list index past its items, a level outside its
// slider, a check state other than 0..2). The message names the field and the value.
class SetupValueError : public std::runtime_error {
public:
    explicit SetupValueError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The values of the 68 settings, as plain data. Setters apply the rules of the controls:
// refused values throw SetupValueError and change nothing; choosing a video standard runs the
// Source ID window's standard-chosen behaviour.
class SetupValues {
public:
    SetupValues(); // every field as the windows are laid out, before any default is applied

    int choice(Field f) const;          // Choice
    bool option(Field f) const;         // Option
    int check(Field f) const;           // Check
    QString text(Field f) const;        // Number and Text
    int level(Field f) const;           // Level
    double number(Field f) const;       // Number: leadingNumber(text)

    void setChoice(Field f, int index); // cStandard: runs standardChosen()
    void setOption(Field f, bool on);   // on: partner off; off: only this one
    void setCheck(Field f, int state);
    void setText(Field f, const QString& text);
    void setLevel(Field f, int value);

    // The up-down spinner's current limits (the SID line spinners change with SetupSidLines).
    Range spinnerRange(Field f) const;
    // Source ID window: set the line spinners' limits and hold the 525 VITC line to 10..20.
    void setupSidLines();

    // The value as the set-up file writes it, before quoting: "2", "#TRUE#", "-56", "RECORD".
    QString displayValue(Field f) const;

    bool operator==(const SetupValues& other) const;
    bool operator!=(const SetupValues& other) const { return !(*this == other); }

private:
    void standardChosen();
    void requireKind(Field f, FieldKind kind) const;
    std::array<int, FieldCount> ints_{};
    std::array<QString, FieldCount> texts_{};
    bool sidLineLimitsSet_ = false;
};

// The one set-up model the program edits; the settings windows are views of it.
// Every change goes through edit(), which applies it to a copy and commits only when the whole
// change succeeded, then tells the views which fields changed.
class CardSetup : public QObject {
    Q_OBJECT
public:
    explicit CardSetup(QObject* parent = nullptr);

    const SetupValues& values() const { return values_; }
    void setValues(const SetupValues& values);
    // Applies change to a copy of the values; on SetupValueError nothing changes and it rethrows.
    void edit(const std::function<void(SetupValues&)>& change);

    // Shorthands for one-field edits.
    void setChoice(Field f, int index) { edit([&](SetupValues& v) { v.setChoice(f, index); }); }
    void setOption(Field f, bool on) { edit([&](SetupValues& v) { v.setOption(f, on); }); }
    void setCheck(Field f, int state) { edit([&](SetupValues& v) { v.setCheck(f, state); }); }
    void setText(Field f, const QString& text) { edit([&](SetupValues& v) { v.setText(f, text); }); }
    void setLevel(Field f, int value) { edit([&](SetupValues& v) { v.setLevel(f, value); }); }

Q_SIGNALS:
    void fieldChanged(quillon::Field field);
    void spinnerRangesChanged();

private:
    SetupValues values_;
};

} // namespace quillon
