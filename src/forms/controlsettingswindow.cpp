// SPDX-License-Identifier: GPL-3.0-or-later
#include "controlsettingswindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

struct Gpi {
    const char* frame;
    const char* caption;
    const char* name;         // stem of the names of its controls
    Field check[3];
    Field text;
};

const Gpi Gpis[] = {
    {"gpi1Frame", "Program GPI #1", "gpi1", {Field::Gpi1DisplayMessage, Field::Gpi1Blink, Field::Gpi1TextOff},
     Field::Gpi1Text},
    {"gpi2Frame", "Program GPI #2", "gpi2", {Field::Gpi2DisplayMessage, Field::Gpi2Blink, Field::Gpi2TextOff},
     Field::Gpi2Text},
};

const char* const CheckCaptions[] = {"Display Message", "Blink MSG/SID", "Text Off (GPIs Excluded)"};
const char* const CheckNames[] = {"DisplayMessage", "Blink", "TextOff"};
const char* const DiagnosticNames[] = {"checkModeDiagnostic", "headerModeDiagnostic", "dataDiagnostic"};

} // namespace

ControlSettingsWindow::ControlSettingsWindow(CardSetup& setup, QWidget* parent)
    : SettingsWindow(QStringLiteral("Controls"), QStringLiteral("Set-up Controls"), setup, parent)
{
    setObjectName(QStringLiteral("controlSettingsWindow"));
    auto* gpis = new QHBoxLayout;
    gpis->addWidget(gpiFrame(0));
    gpis->addWidget(gpiFrame(1));

    auto* dip = frame(QStringLiteral("dipSwitchesFrame"), QStringLiteral("DIP switches"));
    auto* dipButtons = new QHBoxLayout(dip);
    dipButtons->addWidget(optionButton(QStringLiteral("dipSwitchesDisable"), QStringLiteral("Disable"), Field::DipSwitchesDisable));
    dipButtons->addWidget(optionButton(QStringLiteral("dipSwitchesEnable"), QStringLiteral("Enable"), Field::DipSwitchesEnable));
    dipButtons->addStretch();

    auto* open = new QPushButton(QStringLiteral("Open Port"), this);
    open->setObjectName(QStringLiteral("openPort"));
    auto* close = new QPushButton(QStringLiteral("Close Port"), this);
    close->setObjectName(QStringLiteral("closePort"));
    keepEnabled(open); // the port test works with either kind of card
    keepEnabled(close);
    connect(open, &QPushButton::clicked, this, &ControlSettingsWindow::openPortClicked);
    connect(close, &QPushButton::clicked, this, &ControlSettingsWindow::closePortClicked);
    auto* port = new QHBoxLayout;
    port->addWidget(dip);
    port->addStretch();
    port->addWidget(open, 0, Qt::AlignBottom);
    port->addWidget(close, 0, Qt::AlignBottom);

    auto* diagnostics = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        diagnostics_[i] = label(QLatin1String(DiagnosticNames[i]), QStringLiteral("Label1"));
        diagnostics_[i]->hide();
        diagnostics->addWidget(diagnostics_[i]);
    }

    auto* content = new QVBoxLayout;
    content->addLayout(gpis);
    content->addLayout(port);
    content->addLayout(diagnostics);

    setPageContent(content);
}

QGroupBox* ControlSettingsWindow::gpiFrame(int gpi)
{
    const Gpi& g = Gpis[gpi];
    auto* box = frame(QLatin1String(g.frame), QLatin1String(g.caption));
    auto* column = new QVBoxLayout(box);
    for (int i = 0; i < 3; ++i)
        column->addWidget(checkBox(QLatin1String(g.name) + QLatin1String(CheckNames[i]),
                                   QLatin1String(CheckCaptions[i]), g.check[i]));
    auto* textLabel = label(QLatin1String(g.name) + QStringLiteral("TextLabel"), QStringLiteral("Message Text"));
    auto* text = textBox(QLatin1String(g.name) + QStringLiteral("Text"), g.text);
    textLabel->setBuddy(text);
    column->addWidget(textLabel);
    column->addWidget(text);
    column->addStretch();
    return box;
}

void ControlSettingsWindow::setDiagnosticLabel(int index, const QString& text)
{
    if (index >= 0 && index < static_cast<int>(diagnostics_.size()))
        diagnostics_[index]->setText(text);
}

} // namespace quillon
