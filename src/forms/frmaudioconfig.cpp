#include "frmaudioconfig.h"

#include "updown.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

QGroupBox* withButtons(QGroupBox* frame, QRadioButton* first, QRadioButton* second)
{
    auto* column = new QVBoxLayout(frame);
    column->addWidget(first);
    column->addWidget(second);
    return frame;
}

} // namespace

frmAudioConfig::frmAudioConfig(CardSetup& setup, QWidget* parent)
    : SettingsForm(QStringLiteral("Audio"), QStringLiteral("Set-up Audio"), setup, parent)
{
    setObjectName(QStringLiteral("frmAudioConfig"));
    auto* columns = new QHBoxLayout;
    columns->addLayout(levelFrame());
    columns->addLayout(outputFrames());
    setPageContent(columns);
}

void frmAudioConfig::load()
{
    Q_EMIT windowOn(windowKey());
}

QLayout* frmAudioConfig::levelFrame()
{
    auto* level = frame(QStringLiteral("Frame1"), QStringLiteral("Level"));
    auto* inside = new QVBoxLayout(level);

    auto* peak = new QHBoxLayout;
    auto* peakLabel = label(QStringLiteral("Label2"), QStringLiteral("Peak Analog:"));
    auto* levelList = choiceList(QStringLiteral("cLevel"), Field::cLevel);
    peakLabel->setBuddy(levelList);
    peak->addWidget(peakLabel);
    peak->addWidget(levelList);
    peak->addWidget(label(QStringLiteral("Label3"), QStringLiteral("dB")));
    peak->addStretch();
    inside->addLayout(peak);

    auto* line = new QFrame(level);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    inside->addWidget(line);

    inside->addWidget(label(QStringLiteral("Label4"), QStringLiteral("Fine Channel Adjust:")));
    auto* channels = new QGridLayout;
    channels->addWidget(channelFrame("A1Left", 0, QStringLiteral("Channel 1"), Field::tA1Left0), 0, 0);
    channels->addWidget(channelFrame("B1Right", 0, QStringLiteral("Channel 2"), Field::tB1Right0), 1, 0);
    // The second pair of channels is not offered: its values only come from the defaults, a
    // card or a file.
    auto* a2 = channelFrame("A1Left", 1, QStringLiteral("A2 (left)"), Field::tA1Left1);
    auto* b2 = channelFrame("B1Right", 1, QStringLiteral("B2 (right)"), Field::tB1Right1);
    for (QWidget* hidden : {a2, b2}) {
        hidden->findChild<QLineEdit*>()->setEnabled(false);
        hidden->setEnabled(false);
        hidden->hide();
    }
    channels->addWidget(a2, 0, 1);
    channels->addWidget(b2, 1, 1);
    inside->addLayout(channels);

    auto* column = new QVBoxLayout;
    column->addWidget(level);
    column->addStretch();
    return column;
}

QWidget* frmAudioConfig::channelFrame(const char* stem, int index, const QString& caption,
                                      Field field)
{
    const QString name = QLatin1String(stem);
    auto* channel = frame(indexed("f" + name, index), caption);
    const auto number = numberBox(indexed("t" + name, index), indexed("ud" + name, index), field,
                                  false);
    checkRangeOnLeaving(number.box, field);
    auto* inside = new QHBoxLayout(channel);
    inside->addLayout(number.row);
    inside->addStretch();
    return channel;
}

QLayout* frmAudioConfig::outputFrames()
{
    auto* column = new QVBoxLayout;
    column->addWidget(withButtons(frame(QStringLiteral("fMono"), QStringLiteral("Output Mode")),
                                  optionButton(QStringLiteral("oMono"), QStringLiteral("Mono"), Field::oMono),
                                  optionButton(QStringLiteral("oStereo"), QStringLiteral("Stereo"), Field::oStereo)));
    column->addWidget(withButtons(frame(QStringLiteral("fLRSwap"), QStringLiteral("CH1/CH2 Swap")),
                                  optionButton(QStringLiteral("oLRSwapYES"), QStringLiteral("Yes"), Field::oLRSwapYES),
                                  optionButton(QStringLiteral("oLRSwapNo"), QStringLiteral("No"), Field::oLRSwapNo)));

    auto* group = new QHBoxLayout;
    auto* groupLabel = label(QStringLiteral("Label1"), QStringLiteral("Group Select"));
    auto* groupList = choiceList(QStringLiteral("cGroup"), Field::cGroup);
    groupLabel->setBuddy(groupList);
    group->addWidget(groupLabel);
    group->addWidget(groupList);
    group->addStretch();
    column->addLayout(group);

    column->addWidget(withButtons(frame(QStringLiteral("fChannel"), QStringLiteral("Channels")),
                                  optionButton(QStringLiteral("cChannel12"), QStringLiteral("1 and 2"), Field::cChannel12),
                                  optionButton(QStringLiteral("cChannel34"), QStringLiteral("3 and 4"), Field::cChannel34)));
    column->addStretch();
    return column;
}

} // namespace quillon
