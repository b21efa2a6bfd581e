#include "frmcolorconfig.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

namespace quillon {

struct frmColorConfig::Row {
    int slider;           // index of Slider1, Text1 and the minimum label Label10
    const char* label;    // name of the caption label
    const char* caption;
    const char* colours;  // style of the caption: its text on its background
    int tickInterval;
    bool offered;
};

namespace {

constexpr Field Sliders[] = {Field::Slider1_0, Field::Slider1_1, Field::Slider1_2,
                             Field::Slider1_3, Field::Slider1_4, Field::Slider1_5};

} // namespace

frmColorConfig::frmColorConfig(CardSetup& setup, QWidget* parent)
    : SettingsForm(QStringLiteral("Colors"), QStringLiteral("Set-up Colors"), setup, parent)
{
    setObjectName(QStringLiteral("frmColorConfig"));
    // Top to bottom. The third row is not offered: its level only comes from the defaults, a
    // card or a file.
    static const Row rows[] = {
        {0, "Label1", "Text Brightness", "color: #FFFFFF; background-color: #000000;", 5, true},
        {1, "Label2", "Bar Graph Border Brightness", "color: #E0E0E0; background-color: #404040;", 5, true},
        {5, "Label6", "Grey 2 (red, error)", "background-color: #808080;", 8, false},
        {2, "Label3", "Operating Region", "color: #00C000; background-color: #FFFFFF;", 8, true},
        {3, "Label4", "Warning Region", "color: #C0C000; background-color: #FFFFFF;", 8, true},
        {4, "Label5", "Error Region", "color: #C00000; background-color: #FFFFFF;", 8, true},
    };

    auto* grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Label7"), QStringLiteral("Minimum")), 0, 1, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("Label8"), QStringLiteral("Maximum")), 0, 3, Qt::AlignCenter);
    grid->addWidget(label(QStringLiteral("Label9"), QStringLiteral("Value")), 0, 4, Qt::AlignCenter);
    int gridRow = 1;
    for (const Row& row : rows)
        addRow(grid, gridRow++, row);
    grid->setColumnMinimumWidth(2, 260);
    grid->setColumnStretch(2, 1);

    setPageContent(grid, 1);
}

void frmColorConfig::addRow(QGridLayout* grid, int gridRow, const Row& row)
{
    const Field field = Sliders[row.slider];
    const Range range = fieldInfo(field).range;

    auto* caption = label(QLatin1String(row.label), QLatin1String(row.caption));
    caption->setStyleSheet(QStringLiteral("QLabel { %1 padding: 2px 6px; }").arg(QLatin1String(row.colours)));
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignCenter);
    caption->setFixedWidth(caption->fontMetrics().horizontalAdvance(QStringLiteral("Bar Graph Border")) + 16);

    auto* minimum = label(indexed("Label10", row.slider), QString::number(range.min));
    auto* maximum = label(indexed("Label10", row.slider + 6), QString::number(range.max));
    auto* value = new QLineEdit(this);
    value->setObjectName(indexed("Text1", row.slider));
    value->setAlignment(Qt::AlignRight);
    value->setFixedWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 12);
    auto* slider = levelSlider(indexed("Slider1", row.slider), value, field);
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
