// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cardsetup.h"
#include "cardtype.h"
#include "heldsetup.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace quillon {

// The five settings windows, by object name, in the order the Set-up menu lists them.
const QStringList& settingsWindowsInOrder();
// Every field, window by window in that order; within a window in the order of the set-up file.
QList<Field> fieldsInWindowOrder();
// A setting's value as the operator reads it: a list item, "on"/"off", "checked", a number, a
// quoted text.
QString settingText(const SetupValues& values, Field f);

// A set-up as a comparison sees it: the settings of a SID set-up, or the image of an AVM one.
struct ComparedSetup {
    CardType kind = CardType::SID;
    SetupValues values; // SID
    QByteArray image;   // AVM
};

// The set-up the program holds: its image when an AVM set-up is loaded, else its settings.
ComparedSetup comparedSetupOf(const HeldSetup& held);
// A set-up image (as a card sends it): an AVM image, or a SID image's settings decoded over base
// (the settings an image does not hold keep base's values).
ComparedSetup comparedSetupOfImage(const QByteArray& image, const SetupValues& base);

// One setting (SID) or one byte (AVM) that differs.
struct SetupDifference {
    Field field = Field::AudioGroup; // SID
    int offset = -1;                 // AVM: the byte's index; -1 for a setting
    QString windowCaption;           // SID: "Set-up Audio"
    QString settingCaption;          // SID: "Group Select"
    QString thisValue;
    QString otherValue;
    bool isByte() const { return offset >= 0; }
};

struct SetupComparison {
    CardType kind = CardType::SID;
    QString refusal; // why the two do not compare (a SID and an AVM set-up); empty otherwise
    QList<SetupDifference> differences;
    bool comparable() const { return refusal.isEmpty(); }
};

// SID against SID setting by setting in the order of the windows; AVM against AVM byte by
// byte (a byte one image lacks shows as "--"); a SID and an AVM set-up are refused.
SetupComparison compareSetups(const ComparedSetup& mine, const ComparedSetup& other);

// Gives mine the other set-up's value of one setting, by the rules of the controls (taking a
// video standard resets the SID lines, as choosing it does).
void takeSetting(SetupValues& mine, const SetupValues& other, Field f);

// "Set-up Audio / Group Select: 1 -> 3", or "byte 0x5a: 0x05 -> 0x07".
QString differenceLine(const SetupDifference& difference);
// "3 settings differ", "1 byte differs".
QString differenceCount(const SetupComparison& comparison);

} // namespace quillon
