// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "heldsetup.h"

#include <QString>
#include <optional>

namespace quillon {

// Factory defaults of every setting.
SetupValues defaultSetupValues();
// Puts the defaults into the settings; image and card kinds stay as they are.
void loadDefaults(CardSetup& fields);
// setupImage := the empty 89-byte SID image.
void resetSetupImage(HeldSetup& held);

// Checks the held set-up against the card and, for a SID card, builds the SID image in place.
// cardVersion: the set-up version of the card's last VersionReport, if the last packet was one.
// Returns why nothing is to be sent, for the operator; empty when setupImage is to be sent.
QString buildSetupImage(HeldSetup& held, std::optional<quint8> cardVersion);

// The SID image of a set-up, or the message that says why a value does not fit its byte.
struct EncodeResult {
    QByteArray image;
    QString error; // empty on success
};
EncodeResult encodeSidImage(const SetupValues& values);

// Why a SID image (version 0) cannot be applied as a whole, or an empty text when it can.
QString sidImageRefusal(const QByteArray& image);
// The settings a SID image gives, applied over 'base'. The image must pass sidImageRefusal().
SetupValues decodeSidImage(const QByteArray& image, const SetupValues& base);

// Applies setupImage: an AVM image (version not 0) changes no setting; a SID image is checked as
// a whole first and refused when any value cannot be shown. Returns why it was refused (nothing
// changed), for the operator; empty when it was applied.
QString applySetupImage(HeldSetup& held);

} // namespace quillon
