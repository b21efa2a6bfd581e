// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../setup/setupcompare.h"

#include <QDateTime>
#include <QString>

namespace quillon {

// A printable report as rich text (the subset of HTML Qt's text documents read), for a PDF.

// The set-up: its name, its kind, the date, then every setting window by window under the
// window's caption (an AVM set-up: its image as rows of bytes).
QString setupReportHtml(const QString& name, const ComparedSetup& setup, const QDateTime& when);
// The differences between two set-ups, in the order the comparison gives them.
QString differencesReportHtml(const QString& name, const QString& otherName, const SetupComparison& comparison,
                              const QDateTime& when);

} // namespace quillon
