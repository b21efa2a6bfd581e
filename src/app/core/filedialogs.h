// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// What a Save or Open asks the operator for a file name.
struct FileQuestion {
    QString filter;      // description and pattern pairs, every part separated by "|"
    int filterIndex = 1; // the entry selected at first, counted from 1
    QString proposedName;
    QString startFolder; // empty: the dialog chooses
};

// The file name questions, answered by the desktop's dialogs or by a test.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The full path chosen; nullopt when the operator cancelled.
    virtual std::optional<QString> askSaveName(const FileQuestion& question) = 0;
    virtual std::optional<QString> askOpenName(const FileQuestion& question) = 0;
};

inline const QString AvmFilter = QStringLiteral("Norvane KX40AVM Card Set-up|*.kxm");
inline const QString SidFilter = QStringLiteral("Norvane KX40SID Card Set-up|*.kxd");
inline const QString OpenFilter =
    QStringLiteral("Norvane SID Card Set-up|*.kxd|Norvane KX40AVM Card Set-up|*.kxm");

// "A|*.a|B|*.b" as name filters for a file dialog: "A (*.a)", "B (*.b)". A description without
// a pattern is dropped; several patterns separated by ";" become a blank-separated list.
QStringList nameFiltersFromPairs(const QString& pairs);

} // namespace quillon
