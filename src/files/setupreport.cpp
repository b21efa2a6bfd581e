// SPDX-License-Identifier: GPL-3.0-or-later
#include "setupreport.h"

namespace quillon {

namespace {

const QString Style = QStringLiteral(
    "<style>body { font-size: 8pt; } h1 { font-size: 13pt; } h2 { font-size: 10pt; margin-top: 8px; }"
    " td { padding: 0px 6px 0px 0px; } th { text-align: left; padding-right: 6px; }</style>");

QString cell(const QString& text, const char* tag = "td")
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), text.toHtmlEscaped());
}

QString heading(const QString& title, const QStringList& facts)
{
    QString html = Style + QStringLiteral("<h1>%1</h1><p>").arg(title.toHtmlEscaped());
    for (const QString& fact : facts)
        html += fact.toHtmlEscaped() + QStringLiteral("<br>");
    return html + QStringLiteral("</p>");
}

QString dateText(const QDateTime& when)
{
    return QStringLiteral("Date: ") + when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString settingsTables(const SetupValues& values)
{
    QString html;
    for (const QString& window : settingsWindowsInOrder()) {
        html += QStringLiteral("<h2>%1</h2><table>").arg(windowCaption(window.toLatin1().constData()).toHtmlEscaped());
        for (const FieldInfo& info : allFields()) {
            if (QLatin1String(info.window) == window)
                html += QStringLiteral("<tr>%1%2</tr>").arg(cell(info.caption), cell(settingText(values, info.field)));
        }
        html += QStringLiteral("</table>");
    }
    return html;
}

QString imageRows(const QByteArray& image)
{
    QString html = QStringLiteral("<h2>Set-up image: %1 bytes</h2><pre>").arg(image.size());
    for (qsizetype row = 0; row < image.size(); row += 16) {
        QString line = QStringLiteral("%1 ").arg(row, 4, 16, QLatin1Char('0'));
        for (char b : image.mid(row, 16))
            line += QStringLiteral(" %1").arg(quint8(b), 2, 16, QLatin1Char('0'));
        html += line + u'\n';
    }
    return html + QStringLiteral("</pre>");
}

} // namespace

QString setupReportHtml(const QString& name, const ComparedSetup& setup, const QDateTime& when)
{
    const QString html = heading(QStringLiteral("Quillon set-up report"),
                                 {QStringLiteral("File: ") + name,
                                  QStringLiteral("Card kind: ") + cardTypeName(setup.kind), dateText(when)});
    return html + (setup.kind == CardType::AVM ? imageRows(setup.image) : settingsTables(setup.values));
}

QString differencesReportHtml(const QString& name, const QString& otherName, const SetupComparison& comparison,
                              const QDateTime& when)
{
    QString html = heading(QStringLiteral("Quillon set-up differences"),
                           {QStringLiteral("File: ") + name, QStringLiteral("Compared with: ") + otherName,
                            QStringLiteral("Card kind: ") + cardTypeName(comparison.kind), dateText(when)});
    if (!comparison.comparable())
        return html + QStringLiteral("<p>%1</p>").arg(comparison.refusal.toHtmlEscaped());
    html += QStringLiteral("<table><tr>");
    const QStringList headers = comparison.kind == CardType::AVM
        ? QStringList{QStringLiteral("Byte"), name, otherName}
        : QStringList{QStringLiteral("Window"), QStringLiteral("Setting"), name, otherName};
    for (const QString& h : headers)
        html += cell(h, "th");
    html += QStringLiteral("</tr>");
    for (const SetupDifference& d : comparison.differences) {
        html += QStringLiteral("<tr>");
        if (d.isByte())
            html += cell(QStringLiteral("0x%1").arg(d.offset, 2, 16, QLatin1Char('0')));
        else
            html += cell(d.windowCaption) + cell(d.settingCaption);
        html += cell(d.thisValue) + cell(d.otherValue) + QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table><p>%1</p>").arg(differenceCount(comparison).toHtmlEscaped());
}

} // namespace quillon
