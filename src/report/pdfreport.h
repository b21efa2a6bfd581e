// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace quillon {

// Lays out a report's rich text on A4 pages and writes them as a PDF. Needs a QGuiApplication.
// Returns an empty text, or why the file could not be written.
QString writePdfReport(const QString& html, const QString& title, const QString& path);
// The text a report shows, as the PDF holds it (for checks where no PDF reader is at hand).
QString reportPlainText(const QString& html);

} // namespace quillon
