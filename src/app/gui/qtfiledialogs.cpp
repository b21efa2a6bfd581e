// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtfiledialogs.h"

namespace quillon {

std::optional<QString> QtFileDialogs::askSaveName(const FileQuestion& question)
{
    return ask(question, QFileDialog::AcceptSave);
}

std::optional<QString> QtFileDialogs::askOpenName(const FileQuestion& question)
{
    return ask(question, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialogs::ask(const FileQuestion& question, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(mode);
    // Open takes any name, also one that does not exist (the read then fails and says so);
    // Save replaces a file without asking. No extension is added to a typed name.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = nameFiltersFromPairs(question.filter);
    dialog.setNameFilters(filters);
    if (question.filterIndex >= 1 && question.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[question.filterIndex - 1]);
    if (!question.startFolder.isEmpty())
        dialog.setDirectory(question.startFolder);
    dialog.selectFile(question.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace quillon
