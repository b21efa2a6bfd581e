#include "frmabout.h"

#include "setup/operatorui.h"

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
    frame->setObjectName(QStringLiteral("Line1(%1)").arg(index));
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

frmAbout::frmAbout(OperatorUi& ui, QWidget* parent) : QDialog(parent), ui_(ui)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + AppTitle);

    auto* picIcon = namedLabel("picIcon", {}, this);
    picIcon->setPixmap(QIcon(QStringLiteral(":/images/quillon.svg")).pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop);

    auto* lblTitle = namedLabel("lblTitle", AppTitle, this);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    auto* lblVersion = namedLabel("lblVersion", releaseText(), this);
    auto* lblDescription = namedLabel(
        "lblDescription",
        QStringLiteral("Quillon provides an all in one interface for the Norvane KX40 product line. "
                       "This intuative Graphical User Interface allows you to extract, save and send "
                       "KX40 hardware setups. Thank You for choosing Norvane."),
        this);
    lblDescription->setWordWrap(true);
    auto* lblDisclaimer = namedLabel(
        "lblDisclaimer",
        QStringLiteral("Warning... This product is designed to interface with Norvane KX40 products "
                       "only. Unexpected results may occur if connections are made to other Norvane "
                       "products."),
        this);
    lblDisclaimer->setWordWrap(true);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    auto* cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line(0, this));
    layout->addLayout(bottom);
    layout->addWidget(line(1, this));
    setFixedWidth(480);
}

std::optional<frmAbout::Tool> frmAbout::systemInfoTool()
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

void frmAbout::StartSysInfo()
{
    const std::optional<Tool> tool = systemInfoTool();
    if (!tool || !QProcess::startDetached(tool->program, tool->arguments))
        ui_.message(Unavailable);
}

} // namespace quillon
