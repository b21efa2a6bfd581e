// SPDX-License-Identifier: GPL-3.0-or-later
#include "aboutdialog.h"

#include "app/core/operatorui.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace quillon {

namespace {

const QString AppTitle = QStringLiteral("Quillon");
const QString Unavailable = QStringLiteral("System Information Is Unavailable At This Time");

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QFrame* line(int index, QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("separator%1").arg(index));
    frame->setFrameShape(QFrame::HLine);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

#ifdef Q_OS_WIN
// One string value of a key under HKEY_LOCAL_MACHINE; empty when the key or value is missing.
QString machineValue(const QString& key, const QString& name)
{
    QSettings registry(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
    return registry.value(name).toString();
}
#endif

} // namespace

QString releaseText()
{
    const QVersionNumber version = QVersionNumber::fromString(QStringLiteral(QUILLON_VERSION));
    return QStringLiteral(" Release %1.%2.%3")
        .arg(QString::number(version.majorVersion()), QString::number(version.minorVersion()),
             QString::number(version.microVersion()));
}

AboutDialog::AboutDialog(OperatorUi& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About ") + AppTitle);

    auto* icon = namedLabel("icon", {}, this);
    icon->setPixmap(QIcon(QStringLiteral(":/images/quillon.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* title = namedLabel("title", AppTitle, this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* release = namedLabel("release", releaseText(), this);
    auto* description = namedLabel(
        "description",
        QStringLiteral("Quillon provides an all in one interface for the Norvane KX40 product line. "
                       "This intuative Graphical User Interface allows you to extract, save and send "
                       "KX40 hardware setups. Thank You for choosing Norvane."),
        this);
    description->setWordWrap(true);
    auto* disclaimer = namedLabel(
        "disclaimer",
        QStringLiteral("Warning... This product is designed to interface with Norvane KX40 products "
                       "only. Unexpected results may occur if connections are made to other Norvane "
                       "products."),
        this);
    disclaimer->setWordWrap(true);

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* systemInfoButton = new QPushButton(QStringLiteral("&System Info..."), this);
    systemInfoButton->setObjectName(QStringLiteral("systemInfoButton"));
    connect(okButton, &QPushButton::clicked, this, &QDialog::close);
    connect(systemInfoButton, &QPushButton::clicked, this, &AboutDialog::startSystemInfo);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(release);
    text->addSpacing(8);
    text->addWidget(description);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton);
    buttons->addWidget(systemInfoButton);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(disclaimer, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line(0, this));
    layout->addLayout(bottom);
    layout->addWidget(line(1, this));
    setFixedWidth(480);
}

std::optional<AboutDialog::Tool> AboutDialog::systemInfoTool()
{
#if defined(Q_OS_WIN)
    QString path = machineValue(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                QStringLiteral("PATH"));
    if (path.isEmpty()) {
        const QString folder = machineValue(
            QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"));
        if (!folder.isEmpty() && QFile::exists(folder + QStringLiteral("\\MSINFO32.EXE")))
            path = folder + QStringLiteral("\\MSINFO32.EXE");
    }
    if (!path.isEmpty())
        return Tool{path, {}};
#elif defined(Q_OS_MACOS)
    for (const char* app : {"/System/Applications/Utilities/System Information.app",
                            "/Applications/Utilities/System Information.app"}) {
        if (QFile::exists(QString::fromLatin1(app)))
            return Tool{QStringLiteral("open"), {QStringLiteral("-a"), QString::fromLatin1(app)}};
    }
#else
    // Desktop system-information tools, the most thorough first.
    for (const char* name : {"kinfocenter", "hardinfo2", "hardinfo", "gnome-system-monitor"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return Tool{path, {}};
    }
#endif
    return std::nullopt;
}

void AboutDialog::startSystemInfo()
{
    const std::optional<Tool> tool = systemInfoTool();
    if (!tool || !QProcess::startDetached(tool->program, tool->arguments))
        ui_.message(Unavailable);
}

} // namespace quillon
