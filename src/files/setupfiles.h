// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../setup/heldsetup.h"
#include "../setup/setupcompare.h"

#include <QIODevice>
#include <QString>
#include <stdexcept>

namespace quillon {

inline constexpr int SetupFileLines = 68;

// A set-up file could not be written or read; the message says why, for the operator.
class SetupFileError : public std::runtime_error {
public:
    explicit SetupFileError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// SID set-up file: 68 lines, CRLF after each. Written to a temporary file and renamed into place,
// so a failed write leaves the file that was there.
QByteArray setupText(const SetupValues& values);
void exportSetupText(const QString& path, const SetupValues& values);
// Reads and converts all 68 lines first, then applies them in order; a failure changes nothing.
// Afterwards connectedCardType is SID.
void importSetupText(const QString& path, HeldSetup& held);
// The settings a SID set-up file's content gives, applied over 'base' (throws SetupFileError).
SetupValues parseSetupText(const QByteArray& content, const SetupValues& base);
// The next line of a SID set-up file after the character filter.
QString readSetupLine(QIODevice& file);

// AVM set-up file: the image byte for byte.
void saveSetupImage(const QString& path, const QByteArray& image);
// Replaces setupImage with the file's bytes (1 to 1024 of them); a failure leaves it as it was.
// Afterwards connectedCardType is AVM.
void loadSetupImage(const QString& path, HeldSetup& held);
// The file's bytes, checked as loadSetupImage checks them (throws SetupFileError).
QByteArray readSetupImageFile(const QString& path);

// A set-up file read on its own, as Open reads it into a freshly started program: the kind from
// the name, a SID file over the default settings (throws SetupFileError).
ComparedSetup readSetupFile(const QString& path);

} // namespace quillon
