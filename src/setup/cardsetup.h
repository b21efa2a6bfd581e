// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <stdexcept>

namespace quillon {

// The 68 settings of a SID card, in the order of the lines of a SID set-up file.
enum class Field : int {
    AudioGroup, AudioChannels12, AudioChannels34, ChannelSwapNo, ChannelSwapYes, OutputStereo, OutputMono, PeakLevel,
    FineAdjustChannel1, FineAdjustChannel2, FineAdjustA2, FineAdjustB2,
    TextBrightness, BarBorderBrightness, OperatingRegion, WarningRegion, ErrorRegion, Grey2,
    MissingSidMessage, MissingSidEnable, MissingSidDisable,
    Gpi1Text, Gpi1DisplayMessage, Gpi1Blink, Gpi1TextOff,
    Gpi2Text, Gpi2DisplayMessage, Gpi2Blink, Gpi2TextOff,
    DipSwitchesEnable, DipSwitchesDisable,
    VideoStandard, SidLine525Vitc, SidLine525Pesa, SidLine625Vitc, SidLine625Pesa,
    NtscPedestalOn, NtscPedestalOff, CompositeColour, CompositeBlackWhite,
    AudioBarVu, AudioBarPpm,
    AudioWindowOn, AudioWindowOff, AudioWindowHorizontal, AudioWindowVertical,
    SidWindowOn, SidWindowOff, SidWindowHorizontal, SidWindowVertical,
    TimeCodeWindowOn, TimeCodeWindowOff, TimeCodeWindowHorizontal, TimeCodeWindowVertical,
    StatusWindowOn, StatusWindowOff, StatusWindowHorizontal, StatusWindowVertical,
    SdiOutputSid, SdiOutputSidAudio, CompositeOutputSid, CompositeOutputSidAudio,
    Gpi1MessageHorizontal, Gpi1MessageVertical, Gpi2MessageHorizontal, Gpi2MessageVertical, NoSidMessageHorizontal, NoSidMessageVertical,
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
    const char* name;      // window and control: "audioSettingsWindow.fineAdjustChannel1"
    const char* window;    // object name of the settings window: "audioSettingsWindow"
    QString caption;       // what the window shows for it, e.g. "Fine Channel Adjust: Channel 1"
    QStringList items;     // Choice: the list items
    Field partner;         // Option: the other button of the group (itself otherwise)
    Range range;           // Level: slider range. Number: range enforced when its box is left
                           // (the SID lines: the limits setupSidLines sets)
    Range spinner;         // Number: the up-down spinner's range (SID lines: see spinnerRange())
    int maxTyped = 0;      // Text: longest text the operator may type (0 = no limit)
};

const FieldInfo& fieldInfo(Field field);
const std::array<FieldInfo, FieldCount>& allFields();
QString windowCaption(const char* window); // "audioSettingsWindow" -> "Set-up Audio"
// How messages name a setting: its caption, then the caption of its window in brackets.
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

    void setChoice(Field f, int index); // VideoStandard: runs standardChosen()
    void setOption(Field f, bool on);   // on: partner off; off: only this one
    void setCheck(Field f, int state);
    void setText(Field f, const QString& text);
    void setLevel(Field f, int value);

    // The up-down spinner's current limits (the SID line spinners change with setupSidLines).
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
