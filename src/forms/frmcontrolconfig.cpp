#include "frmcontrolconfig.h"

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
    const char* checks;       // stem of the check boxes
    Field check[3];
    const char* textLabel;    // the "Message Text" label's name
    int textIndex;            // tGPIText index
    Field text;
};

const Gpi Gpis[] = {
    {"fGPI1", "Program GPI #1", "cGPI1", {Field::cGPI1_0, Field::cGPI1_1, Field::cGPI1_2},
     "Label1(1)", 0, Field::tGPIText0},
    {"fGPI2", "Program GPI #2", "cGPI2", {Field::cGPI2_0, Field::cGPI2_1, Field::cGPI2_2},
     "Label1(0)", 1, Field::tGPIText1},
};

const char* const CheckCaptions[] = {"Display Message", "Blink MSG/SID", "Text Off (GPIs Excluded)"};

} // namespace

frmControlConfig::frmControlConfig(CardSetup& setup, QWidget* parent)
    : SettingsForm(QStringLiteral("Controls"), QStringLiteral("Set-up Controls"), setup, parent)
{
    setObjectName(QStringLiteral("frmControlConfig"));
    auto* gpis = new QHBoxLayout;
    gpis->addWidget(gpiFrame(0));
    gpis->addWidget(gpiFrame(1));

    auto* dip = frame(QStringLiteral("fDIP"), QStringLiteral("DIP switches"));
    auto* dipButtons = new QHBoxLayout(dip);
    dipButtons->addWidget(optionButton(QStringLiteral("oDIPDis"), QStringLiteral("Disable"), Field::oDIPDis));
    dipButtons->addWidget(optionButton(QStringLiteral("oDIPEn"), QStringLiteral("Enable"), Field::oDIPEn));
    dipButtons->addStretch();

    auto* open = new QPushButton(QStringLiteral("Open Port"), this);
    open->setObjectName(QStringLiteral("btnStartTest"));
    auto* close = new QPushButton(QStringLiteral("Close Port"), this);
    close->setObjectName(QStringLiteral("btnStopTest"));
    connect(open, &QPushButton::clicked, this, &frmControlConfig::openPortClicked);
    connect(close, &QPushButton::clicked, this, &frmControlConfig::closePortClicked);
    auto* port = new QHBoxLayout;
    port->addWidget(dip);
    port->addStretch();
    port->addWidget(open, 0, Qt::AlignBottom);
    port->addWidget(close, 0, Qt::AlignBottom);

    auto* diagnostics = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        diagnostics_[i] = label(indexed("Label13", i), QStringLiteral("Label1"));
        diagnostics_[i]->hide();
        diagnostics->addWidget(diagnostics_[i]);
    }

    auto* content = new QVBoxLayout;
    content->addLayout(gpis);
    content->addLayout(port);
    content->addLayout(diagnostics);

    setPageContent(content);
}

QGroupBox* frmControlConfig::gpiFrame(int gpi)
{
    const Gpi& g = Gpis[gpi];
    auto* box = frame(QLatin1String(g.frame), QLatin1String(g.caption));
    auto* column = new QVBoxLayout(box);
    for (int i = 0; i < 3; ++i)
        column->addWidget(checkBox(indexed(QLatin1String(g.checks), i), QLatin1String(CheckCaptions[i]), g.check[i]));
    auto* textLabel = label(QLatin1String(g.textLabel), QStringLiteral("Message Text"));
    auto* text = textBox(indexed("tGPIText", g.textIndex), g.text);
    textLabel->setBuddy(text);
    column->addWidget(textLabel);
    column->addWidget(text);
    column->addStretch();
    return box;
}

void frmControlConfig::setDiagnosticLabel(int index, const QString& text)
{
    if (index >= 0 && index < static_cast<int>(diagnostics_.size()))
        diagnostics_[index]->setText(text);
}

} // namespace quillon
