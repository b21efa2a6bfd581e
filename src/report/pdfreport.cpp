// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdfreport.h"

#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>

namespace quillon {

QString writePdfReport(const QString& html, const QString& title, const QString& path)
{
    // Opening a pipe would wait for a reader, and a device would be written over.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return QStringLiteral("Could not write the report \"%1\": it is not a regular file.").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write the report \"%1\": %2.").arg(path, file.errorString());
    QPdfWriter pdf(&file);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Quillon"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    QTextDocument document;
    document.setHtml(html);
    document.print(&pdf);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Could not write the report \"%1\": %2.").arg(path, file.errorString());
    return {};
}

QString reportPlainText(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

} // namespace quillon
