// SPDX-License-Identifier: GPL-3.0-or-later
#include "coloursettingswindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

namespace quillon {

struct ColourSettingsWindow::Row {
    int slider;           // index into Sliders
    const char* name;     // stem of the names of the row's controls
    const char* caption;
    const char* colours;  // style of the caption: its text on its background
    int tickInterval;
    bool offered;
};

namespace {

constexpr Field Sliders[] = {Field::TextBrightness, Field::BarBorderBrightness, Field::OperatingRegion,
                             Field::WarningRegion, Field::ErrorRegion, Field::Grey2};

} // namespace

ColourSettingsWindow::ColourSettingsWindow(CardSetup& setup, QWidget* parent)
    : SettingsWindow(QStringLiteral("Colors"), QStringLiteral("Set-up Colors"), setup, parent)
{
    setObjectName(QStringLiteral("colourSettingsWindow"));
    // Top to bottom. The third row is not offered: its level only comes from the defaults, a
    // card or a file.
    static const Row rows[] = {
        {0, "textBrightness", "Text Brightness", "color: #FFFFFF; background-color: #000000;", 5, true},
        {1, "barBorderBrightness", "Bar Graph Border Brightness", "color: #E0E0E0; background-color: #404040;", 5, true},
        {5, "grey2", "Grey 2 (red, error)", "background-color: #808080;", 8, false},
        {2, "operatingRegion", "Operating Region", "color: #00C000; background-color: #FFFFFF;", 8, true},
        {3, "warningRegion", "Warning Region", "color: #C0C000; background-color: #FFFFFF;", 8, true},
        {4, "errorRegion", "Error Region", "color: #C00000; background-color: #FFFFFF;", 8, true},
    };

    auto* grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("minimumHeading"), QStringLiteral("Minimum")), 0, 1, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("maximumHeading"), QStringLiteral("Maximum")), 0, 3, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("valueHeading"), QStringLiteral("Value")), 0, 4, Qt::AlignCenter);
    int gridRow = 1;
    for (const Row& row : rows)
        addRow(grid, gridRow++, row);
    grid->setColumnMinimumWidth(2, 260);
    grid->setColumnStretch(2, 1);

    setPageContent(grid);
}

void ColourSettingsWindow::addRow(QGridLayout* grid, int gridRow, const Row& row)
{
    const Field field = Sliders[row.slider];
    const Range range = fieldInfo(field).range;

    const QString name = QLatin1String(row.name);
    auto* caption = label(name + QStringLiteral("Caption"), QLatin1String(row.caption));
    caption->setStyleSheet(QStringLiteral("QLabel { %1 padding: 2px 6px; }").arg(QLatin1String(row.colours)));
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignCenter);
    caption->setFixedWidth(caption->fontMetrics().horizontalAdvance(QStringLiteral("Bar Graph Border")) + 16);
    // A wrapped caption's layout minimum is one line: the row must keep room for all of them.
    caption->ensurePolished();
    caption->setMinimumHeight(caption->heightForWidth(caption->width()));

    auto* minimum = label(name + QStringLiteral("Minimum"), QString::number(range.min));
    auto* maximum = label(name + QStringLiteral("Maximum"), QString::number(range.max));
    auto* value = new QLineEdit(this);
    value->setObjectName(name + QStringLiteral("Value"));
    value->setAccessibleName(caption->text());
    value->setAlignment(Qt::AlignRight);
    value->setFixedWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 12);
    auto* slider = levelSlider(name, value, field);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(row.tickInterval);
    caption->setBuddy(slider);

    const QList<QWidget*> parts{caption, minimum, slider, maximum, value};
    for (int column = 0; column < parts.size(); ++column) {
        grid->addWidget(parts[column], gridRow, column,
                        column == 2 ? Qt::Alignment() : Qt::AlignCenter);
        if (!row.offered) {
            parts[column]->setEnabled(false);
            parts[column]->hide();
        }
    }
}

} // namespace quillon
