#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quillon {

// One setting in which the set-up read back from a card differs from the one sent.
struct ReadBackDifference {
    QString window;  // the settings window's caption, or "AVM image"
    QString setting; // the setting's caption, or "byte at offset N"
    QString sent;
    QString readBack;
};

// What differs between the image sent and the image read back: an AVM image byte for byte
// (by offset), a SID set-up setting by setting, both images decoded. Empty when equal.
QList<ReadBackDifference> readBackDifferences(const QByteArray& sent, const QByteArray& readBack);

// "Set-up Audio, Peak Level: sent 2, read back 3"
QString differenceLine(const ReadBackDifference& difference);

} // namespace quillon
