// SPDX-License-Identifier: GPL-3.0-or-later
#include "framelog.h"

#include "linkclock.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace quillon {

namespace {

QString hexBytes(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

quint8 at(const QByteArray& bytes, qsizetype i) { return static_cast<quint8>(bytes.at(i)); }

// Printable letters as they are, trailing zeros dropped, anything else as \xNN.
QString quoted(QByteArray text)
{
    while (text.endsWith('\0'))
        text.chop(1);
    QString shown;
    for (char c : text)
        shown += (c >= 0x20 && c < 0x7F) ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(static_cast<quint8>(c), 2, 16, QLatin1Char('0'));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString describeCommand(const QByteArray& payload, bool fromHost)
{
    const int command = at(payload, 0);
    const QByteArray data = payload.mid(1);
    auto arg = [&](int i) { return i < data.size() ? QString::number(at(data, i)) : QStringLiteral("?"); };
    switch (command) {
    case card::LinkSetup: return QStringLiteral("LinkSetup %1 %2").arg(arg(0), arg(1));
    case card::HostSerialRequest: return QStringLiteral("HostSerialRequest");
    case card::SerialNumber: return (fromHost ? QStringLiteral("HostSerial ") : QStringLiteral("SerialNumber ")) + QString::fromLatin1(data.toHex());
    case card::AppIdRequest: return fromHost ? QStringLiteral("AppIdEnd") : QStringLiteral("AppIdRequest");
    case card::AppId: return QStringLiteral("AppId ") + quoted(data);
    case card::LinkCleared: return QStringLiteral("LinkCleared");
    case host::GetRequest: return QStringLiteral("GetRequest ") + arg(0);
    case host::ReqCurSetup: return QStringLiteral("ReqCurSetup");
    case card::VersionReport: return QStringLiteral("VersionReport ") + arg(0);
    case card::SetupData: return QStringLiteral("SetupData %1 bytes v%2").arg(QString::number(payload.size()), arg(0));
    case card::FlashResult:
        if (fromHost)
            return QStringLiteral("BaudChange %1").arg(data.size() >= 2 ? QString::number(at(data, 0) * 256 + at(data, 1)) : QStringLiteral("?"));
        return QStringLiteral("FlashResult ") + arg(0);
    default:
        return QStringLiteral("command %1").arg(command) + (data.isEmpty() ? QString() : QLatin1Char(' ') + hexBytes(data));
    }
}

QString describeCheck(const QByteArray& packet, int checkBits, qsizetype bodyEnd)
{
    if (checkBits == 16)
        return crcMatches(packet) ? QStringLiteral("CRC good") : QStringLiteral("CRC bad");
    if (checkBits == 8)
        return check8(packet.left(bodyEnd)) == at(packet, bodyEnd) ? QStringLiteral("check good") : QStringLiteral("check bad");
    return {};
}

} // namespace

QString describePacket(const QByteArray& packet, bool fromHost, PacketKind kind)
{
    if (packet.isEmpty())
        return QStringLiteral("empty frame");
    const quint8 control = at(packet, 0);
    const ControlFields fields = decodeControl(control);
    const bool header = fields.header;
    const int checkBytes = fields.checkBytes();
    const int checkBits = checkBytes * 8;
    if (fields.packetClass == PacketClass::Ack)
        kind = PacketKind::Ack;
    else if (fields.packetClass == PacketClass::Nack)
        kind = PacketKind::Nack;
    const bool acknowledgement = kind == PacketKind::Ack || kind == PacketKind::Nack;

    QStringList parts;
    const QString kindName = kind == PacketKind::Ack    ? QStringLiteral("Ack")
                             : kind == PacketKind::Nack ? QStringLiteral("Nack")
                             : fields.packetClass == PacketClass::Data ? QStringLiteral("data")
                                                        : QStringLiteral("plain");
    const QString checkName = checkBits == 16 ? QStringLiteral("CRC-16")
                              : checkBits == 8 ? QStringLiteral("8-bit check")
                                               : QStringLiteral("no check");
    parts << QStringLiteral("%1 %2, %3, %4")
                 .arg(QString::number(control, 16).toUpper().rightJustified(2, QLatin1Char('0')), kindName,
                      header ? QStringLiteral("header") : QStringLiteral("no header"), checkName);
    const qsizetype bodyEnd = packet.size() - checkBytes;
    const qsizetype payloadStart = header && !acknowledgement ? 3 : 1;
    if (bodyEnd < payloadStart + (acknowledgement ? 1 : 0) || (!acknowledgement && bodyEnd <= payloadStart)) {
        parts << QStringLiteral("too short");
        return parts.join(QStringLiteral(" | "));
    }
    if (acknowledgement) {
        parts << QStringLiteral("for seq %1").arg(at(packet, 1));
    } else {
        if (header)
            parts << QStringLiteral("seq %1/%2").arg(QString::number(at(packet, 1)), QString::number(at(packet, 2)));
        parts << describeCommand(packet.mid(payloadStart, bodyEnd - payloadStart), fromHost);
    }
    if (kind == PacketKind::Resend)
        parts << QStringLiteral("resent");
    if (checkBits)
        parts << describeCheck(packet, checkBits, bodyEnd);
    return parts.join(QStringLiteral(" | "));
}

FrameLog::FrameLog(LinkClock& clock) : clock_(clock) {}

void FrameLog::setPath(const QString& path)
{
    path_ = path;
    warned_ = false;
}

QString FrameLog::pathNextTo(const QString& tracePath)
{
    return QFileInfo(tracePath).absoluteDir().filePath(QStringLiteral("frames.log"));
}

void FrameLog::beginOperation()
{
    inOperation_ = true;
    operationStarted_ = false;
}

void FrameLog::endOperation()
{
    inOperation_ = false;
    operationStarted_ = false;
}

void FrameLog::connectionOpened()
{
    openedAtMs_ = clock_.nowMs();
    connected_ = true;
    file_.close();
    // The later connections of an operation add to what its first began.
    const bool append = inOperation_ && std::exchange(operationStarted_, true);
    if (!path_.isEmpty()) {
        QDir().mkpath(QFileInfo(path_).absolutePath());
        file_.setFileName(path_);
        const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Text | (append ? QIODevice::Append : QIODevice::Truncate);
        if (!file_.open(mode) && !std::exchange(warned_, true))
            std::fprintf(stderr, "The frame log %s cannot be written: %s\n", qPrintable(path_), qPrintable(file_.errorString()));
    }
    if (!title_.isEmpty())
        writeLine(QStringLiteral("==== %1 ====").arg(title_));
    write(QStringLiteral("--"), QStringLiteral("connection opened"));
}

void FrameLog::note(const QString& text)
{
    // A failure may be told once its connection has ended: it still belongs to that file.
    const bool reopen = !file_.isOpen() && !path_.isEmpty() && file_.fileName() == path_
        && file_.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Append);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        write(QStringLiteral("--"), line);
    if (reopen)
        file_.close();
}

void FrameLog::connectionEnded(EndReason reason)
{
    if (!std::exchange(connected_, false))
        return; // an ending with no connection behind it
    write(QStringLiteral("--"), QStringLiteral("connection ended, reason %1").arg(reasonCode(reason)));
    file_.close();
}

void FrameLog::frameSent(const QByteArray& frame, PacketKind kind)
{
    // The frame as it went on the line; what it means is read from an unstuffed copy.
    write(QStringLiteral("->"), hexBytes(frame) + QStringLiteral(" | ") + describePacket(packetOfSentFrame(frame, kind), true, kind));
}

void FrameLog::frameReceived(const QByteArray& packet, bool crcGood)
{
    QString text = describePacket(packet, false);
    if (!crcGood && !text.endsWith(QStringLiteral("CRC bad")))
        text += QStringLiteral(" | check failed");
    write(QStringLiteral("<-"), hexBytes(packet) + QStringLiteral(" | ") + text);
}

void FrameLog::singleByte(quint8 byte, bool toCard)
{
    const QString meaning = byte == SYN ? QStringLiteral("SYN, link reset") : byte == AckByte ? QStringLiteral("answer to a SYN") : QString();
    write(toCard ? QStringLiteral("->") : QStringLiteral("<-"), hexBytes(QByteArray(1, static_cast<char>(byte))) + QStringLiteral(" | ") + meaning);
}

void FrameLog::retransmitted(int retryCount)
{
    write(QStringLiteral("--"), QStringLiteral("RETRANSMISSION, retry count %1").arg(retryCount));
}

void FrameLog::nackReceived() { write(QStringLiteral("--"), QStringLiteral("NACK received")); }

void FrameLog::acknowledgementTimedOut() { write(QStringLiteral("--"), QStringLiteral("TIMEOUT, no acknowledgement")); }

void FrameLog::speedChanged(int baud) { write(QStringLiteral("--"), QStringLiteral("SPEED %1 baud").arg(baud)); }

void FrameLog::write(const QString& direction, const QString& text)
{
    writeLine(QStringLiteral("%1 %2 %3").arg(QString::number(clock_.nowMs() - openedAtMs_).rightJustified(7), direction, text));
}

void FrameLog::writeLine(const QString& line)
{
    if (file_.isOpen()) {
        file_.write(line.toUtf8() + '\n');
        file_.flush(); // what happened up to a crash stays readable
    }
    if (echo)
        echo(line);
}

} // namespace quillon
