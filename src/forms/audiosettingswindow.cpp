// SPDX-License-Identifier: GPL-3.0-or-later
#include "audiosettingswindow.h"

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

AudioSettingsWindow::AudioSettingsWindow(CardSetup& setup, QWidget* parent)
    : SettingsWindow(QStringLiteral("Audio"), QStringLiteral("Set-up Audio"), setup, parent)
{
    setObjectName(QStringLiteral("audioSettingsWindow"));
    auto* columns = new QHBoxLayout;
    columns->addLayout(levelFrame());
    columns->addLayout(outputFrames());
    setPageContent(columns);
}

void AudioSettingsWindow::load()
{
    Q_EMIT windowOn(windowKey());
}

QLayout* AudioSettingsWindow::levelFrame()
{
    auto* level = frame(QStringLiteral("levelFrame"), QStringLiteral("Level"));
    auto* inside = new QVBoxLayout(level);

    auto* peak = new QHBoxLayout;
    auto* peakLabel = label(QStringLiteral("peakLevelLabel"), QStringLiteral("Peak Analog:"));
    auto* levelList = choiceList(QStringLiteral("peakLevel"), Field::PeakLevel);
    captionOf(peakLabel, levelList);
    peak->addWidget(peakLabel);
    peak->addWidget(levelList);
    peak->addWidget(label(QStringLiteral("peakLevelUnit"), QStringLiteral("dB")));
    peak->addStretch();
    inside->addLayout(peak);

    auto* line = new QFrame(level);
    line->setObjectName(QStringLiteral("levelSeparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    inside->addWidget(line);

    inside->addWidget(label(QStringLiteral("fineAdjustLabel"), QStringLiteral("Fine Channel Adjust:")));
    auto* channels = new QGridLayout;
    channels->addWidget(channelFrame("fineAdjustChannel1", QStringLiteral("Channel 1"), Field::FineAdjustChannel1), 0, 0);
    channels->addWidget(channelFrame("fineAdjustChannel2", QStringLiteral("Channel 2"), Field::FineAdjustChannel2), 1, 0);
    // The second pair of channels is not offered: its values only come from the defaults, a
    // card or a file.
    auto* a2 = channelFrame("fineAdjustA2", QStringLiteral("A2 (left)"), Field::FineAdjustA2);
    auto* b2 = channelFrame("fineAdjustB2", QStringLiteral("B2 (right)"), Field::FineAdjustB2);
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

QWidget* AudioSettingsWindow::channelFrame(const char* name, const QString& caption, Field field)
{
    const QString box = QLatin1String(name);
    auto* channel = frame(box + QStringLiteral("Frame"), caption);
    const auto number = numberBox(box, box + QStringLiteral("Spinner"), caption, field, false);
    checkRangeOnLeaving(number.box, field);
    auto* inside = new QHBoxLayout(channel);
    inside->addLayout(number.row);
    inside->addStretch();
    return channel;
}

QLayout* AudioSettingsWindow::outputFrames()
{
    auto* column = new QVBoxLayout;
    column->addWidget(withButtons(frame(QStringLiteral("outputModeFrame"), QStringLiteral("Output Mode")),
                                  optionButton(QStringLiteral("outputMono"), QStringLiteral("Mono"), Field::OutputMono),
                                  optionButton(QStringLiteral("outputStereo"), QStringLiteral("Stereo"), Field::OutputStereo)));
    column->addWidget(withButtons(frame(QStringLiteral("channelSwapFrame"), QStringLiteral("CH1/CH2 Swap")),
                                  optionButton(QStringLiteral("channelSwapYes"), QStringLiteral("Yes"), Field::ChannelSwapYes),
                                  optionButton(QStringLiteral("channelSwapNo"), QStringLiteral("No"), Field::ChannelSwapNo)));

    auto* group = new QHBoxLayout;
    auto* groupLabel = label(QStringLiteral("audioGroupLabel"), QStringLiteral("Group Select"));
    auto* groupList = choiceList(QStringLiteral("audioGroup"), Field::AudioGroup);
    captionOf(groupLabel, groupList);
    group->addWidget(groupLabel);
    group->addWidget(groupList);
    group->addStretch();
    column->addLayout(group);

    column->addWidget(withButtons(frame(QStringLiteral("audioChannelsFrame"), QStringLiteral("Channels")),
                                  optionButton(QStringLiteral("audioChannels12"), QStringLiteral("1 and 2"), Field::AudioChannels12),
                                  optionButton(QStringLiteral("audioChannels34"), QStringLiteral("3 and 4"), Field::AudioChannels34)));
    column->addStretch();
    return column;
}

} // namespace quillon
