// SPDX-License-Identifier: GPL-3.0-or-later
// SystemPortDoctor: what this computer shows about a serial device. Only reads.

#include "portdoctor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace quillon {

namespace {

#if defined(Q_OS_LINUX)

QString userName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group* gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

QString modeText(mode_t mode)
{
    QString text = S_ISCHR(mode) ? QStringLiteral("c") : S_ISDIR(mode) ? QStringLiteral("d") : QStringLiteral("-");
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

bool inThisLogin(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(std::max(count, 0));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        return std::find(groups.begin(), groups.end(), gid) != groups.end();
    return false;
}

// Whether the group database (/etc/group and the system's other sources) gives the user gid.
bool inGroupDatabase(uid_t uid, gid_t gid)
{
    const passwd* pw = ::getpwuid(uid);
    if (!pw)
        return false;
    if (pw->pw_gid == gid)
        return true;
    const QByteArray name(pw->pw_name);
    int count = 64;
    std::vector<gid_t> groups(count);
    if (::getgrouplist(name.constData(), pw->pw_gid, groups.data(), &count) < 0) {
        groups.resize(count);
        if (::getgrouplist(name.constData(), pw->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(count);
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

void examineAccess(const QByteArray& path, PortFindings& f)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return;
    f.serialDevice = S_ISCHR(st.st_mode);
    f.owner = userName(st.st_uid);
    f.group = groupName(st.st_gid);
    f.mode = modeText(st.st_mode);
    f.groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    f.user = userName(::geteuid());
    f.accessible = ::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0;
    f.inThisLogin = inThisLogin(st.st_gid);
    f.inGroupDatabase = inGroupDatabase(::geteuid(), st.st_gid);
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

bool processRuns(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// The lock files the serial layers (Qt, minicom, uucp tools) make: LCK..ttyUSB0, and Qt's
// LCK.._tmp_name for a device outside /dev.
void examineLockFiles(const QString& device, PortFindings& f)
{
    QString qtName = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    qtName.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList names{QStringLiteral("LCK..") + qtName, QStringLiteral("LCK..") + QFileInfo(device).fileName()};
    const QStringList dirs{QStringLiteral("/run/lock"), QStringLiteral("/var/lock"), QStringLiteral("/var/lock/lockdev"),
                           QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"), QStringLiteral("/etc/locks"),
                           QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QDir::tempPath()};
    QSet<QString> seen;
    for (const QString& dir : dirs) {
        for (const QString& name : names) {
            const QFileInfo info(dir + QLatin1Char('/') + name);
            const QString real = info.canonicalFilePath();
            if (real.isEmpty() || seen.contains(real))
                continue;
            seen.insert(real);
            QFile lock(real);
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            // The first line holds the process id, in text (binary ids are long gone).
            const qint64 pid = QString::fromLatin1(lock.readLine(64)).trimmed().toLongLong();
            if (processRuns(pid)) {
                f.holders << PortHolder{pid, processName(pid), info.absoluteFilePath()};
            } else if (pid > 0) {
                f.staleLockFile = info.absoluteFilePath();
                f.stalePid = pid;
            }
        }
    }
}

// The processes with the device open (those of other users only when run as root), and
// whether brltty or ModemManager run.
void examineProcesses(const QString& device, PortFindings& f)
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString name = processName(pid);
        f.brlttyRunning = f.brlttyRunning || name == QLatin1String("brltty");
        f.modemManagerRunning = f.modemManagerRunning || name == QLatin1String("ModemManager");
        if (entry == self || device.isEmpty())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(entry));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != device)
                continue;
            const bool listed = std::any_of(f.holders.begin(), f.holders.end(),
                                            [pid](const PortHolder& h) { return h.pid == pid; });
            if (!listed)
                f.holders << PortHolder{pid, name, {}};
            break;
        }
    }
}

#endif

} // namespace

PortFindings SystemPortDoctor::examine(const QString& device) const
{
    PortFindings f;
    f.device = device;
    f.present = catalogue_.ports();
    const SerialPortEntry* listed = findPort(device, f.present);
    f.usb = listed && listed->isUsb();
    if (device.isEmpty())
        return f;
#if defined(Q_OS_LINUX)
    const QString real = QFileInfo(device).canonicalFilePath();
    f.exists = !real.isEmpty();
    f.usb = f.usb || QFileInfo(real).fileName().startsWith(QLatin1String("ttyUSB"))
            || QFileInfo(real).fileName().startsWith(QLatin1String("ttyACM"));
    if (f.exists) {
        examineAccess(QFile::encodeName(real), f);
        examineLockFiles(real, f);
    }
    examineProcesses(real, f);
#elif defined(Q_OS_WIN)
    // Windows names no holder and has no device files: a listed port that fails is held.
    f.exists = listed != nullptr;
    f.holderUnknown = f.exists;
#else
    f.exists = QFileInfo::exists(device);
    f.holderUnknown = f.exists && QFileInfo(device).isReadable() && QFileInfo(device).isWritable();
    f.accessible = !f.exists || f.holderUnknown;
    f.groupMayUse = false;
    f.owner = QFileInfo(device).owner();
    f.group = QFileInfo(device).group();
#endif
    return f;
}

} // namespace quillon
