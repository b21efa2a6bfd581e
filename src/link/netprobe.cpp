// SPDX-License-Identifier: GPL-3.0-or-later
#include "netprobe.h"

#include <algorithm>

namespace quillon {

namespace {

QString field(const char* name, const QString& value)
{
    return QStringLiteral("  %1 %2").arg(QString::fromLatin1(name).leftJustified(12), value);
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 1 : 0);
}

QString lineText(const LineSettings& line)
{
    static const char* const parities[] = {"no parity", "odd parity", "even parity", "mark parity", "space parity"};
    const int parity = std::max<int>(0, int(QByteArrayView("noems").indexOf(line.parity)));
    return QStringLiteral("%1 baud, %2 data bits, %3, %4 stop bits").arg(
        QString::number(line.baud), QString::number(line.dataBits), QLatin1String(parities[parity]),
        line.stopBits == 15 ? QStringLiteral("1.5") : QString::number(line.stopBits));
}

} // namespace

NetPortProbe::NetPortProbe(QObject* parent) : QObject(parent)
{
    port_.onComm = [this](int event) {
        if (event == SerialControl::OpeningEnded && done_)
            finished();
    };
}

void NetPortProbe::start(const QString& name, std::function<void(const QStringList&, bool)> done)
{
    name_ = name.trimmed();
    done_ = std::move(done);
    port_.setName(name_);
    port_.setSettings(QStringLiteral("9600,n,8,2"));
    if (!port_.setPortOpen(true))
        QMetaObject::invokeMethod(this, [this] { finished(); }, Qt::QueuedConnection);
}

void NetPortProbe::finished()
{
    const QStringList lines = probeReport(name_, port_);
    const bool usable = port_.portOpen();
    port_.setPortOpen(false);
    if (auto done = std::exchange(done_, nullptr))
        done(lines, usable);
}

QStringList probeReport(const QString& name, const NetSerialControl& port)
{
    QStringList lines{name};
    if (!port.portOpen()) {
        lines << field("verdict:", port.lastError());
        for (const QString& line : port.diagnose(0).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines << QStringLiteral("  ") + line;
        return lines;
    }
    const NetSerialControl::Findings found = port.findings();
    const bool rfc2217 = parseNetPortName(name)->kind == NetPortName::Kind::Rfc2217;
    lines << field("address:", found.address) << field("connected:", QStringLiteral("after ") + ms(found.connectMs));
    if (rfc2217) {
        lines << field("protocol:", QStringLiteral("RFC 2217: binary mode both ways and the COM-PORT option agreed"));
        if (!found.signature.isEmpty())
            lines << field("server:", found.signature);
        if (found.confirmed)
            lines << field("line:", lineText(*found.confirmed) + QStringLiteral(", no flow control: confirmed by the server"));
        lines << field("purged:", QStringLiteral("both of the server's buffers"));
        if (!found.answerTimesMs.empty()) {
            const auto [quickest, slowest] = std::minmax_element(found.answerTimesMs.begin(), found.answerTimesMs.end());
            lines << field("round trip:", QStringLiteral("%1 (the quickest of %2 answers; the slowest %3)")
                                               .arg(ms(*quickest), QString::number(found.answerTimesMs.size()), ms(*slowest)));
        }
        lines << field("verdict:", QStringLiteral("usable, for SID and AVM cards"));
    } else {
        lines << field("protocol:", QStringLiteral("raw TCP: the line is as the server sets it, and must be 9600 baud, "
                                                   "8 data bits, no parity, 2 stop bits"))
              << field("round trip:", ms(found.connectMs) + QStringLiteral(" (the connection's set-up)"))
              << field("verdict:", QStringLiteral("usable for a SID card; an AVM card needs rfc2217:// (it switches "
                                                  "the line to 1200 baud)"));
    }
    if (port.roundTripMs() > CleanRoundTripMs)
        lines << field("warning:", QStringLiteral("the round trip of %1 is above the %2 up to which transfers run "
                                                  "clean: the card may send frames again")
                                       .arg(ms(port.roundTripMs()), ms(CleanRoundTripMs)));
    lines << QStringLiteral("Nothing was sent to the card.");
    return lines;
}

} // namespace quillon
