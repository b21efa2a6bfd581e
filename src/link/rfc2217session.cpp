// SPDX-License-Identifier: GPL-3.0-or-later
#include "rfc2217session.h"

#include <algorithm>

namespace quillon {

using namespace telnet;

namespace {

constexpr int MaxSignature = 80;

QByteArray oneByte(quint8 value) { return QByteArray(1, char(value)); }

QByteArray baudValue(quint32 baud)
{
    QByteArray v(4, '\0');
    for (int i = 0; i < 4; ++i)
        v[i] = char((baud >> (8 * (3 - i))) & 0xFF);
    return v;
}

quint8 parityCode(char parity)
{
    switch (parity) {
    case 'o': return 2;
    case 'e': return 3;
    case 'm': return 4;
    case 's': return 5;
    default: return 1;
    }
}

quint8 stopCode(int stopBits)
{
    return stopBits == 2 ? 2 : stopBits == 15 ? 3 : 1;
}

// Printable ASCII of the server's signature, bounded.
QString printable(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes.left(MaxSignature)) {
        if (c >= 0x20 && c < 0x7F)
            text += QLatin1Char(c);
    }
    return text.trimmed();
}

} // namespace

QString comPortValueText(quint8 command, const QByteArray& value)
{
    const auto byte = [&value] { return value.size() == 1 ? int(quint8(value.at(0))) : -1; };
    switch (command) {
    case Rfc2217Session::SetBaudRate:
        if (value.size() == 4) {
            quint32 baud = 0;
            for (const char c : value)
                baud = (baud << 8) | quint8(c);
            return QStringLiteral("%1 baud").arg(baud);
        }
        break;
    case Rfc2217Session::SetDataSize:
        if (byte() >= 0)
            return QStringLiteral("%1 data bits").arg(byte());
        break;
    case Rfc2217Session::SetParity: {
        static const char* const names[] = {"parity unchanged", "no parity", "odd parity", "even parity",
                                            "mark parity", "space parity"};
        if (byte() >= 0 && byte() <= 5)
            return QLatin1String(names[byte()]);
        break;
    }
    case Rfc2217Session::SetStopSize: {
        static const char* const names[] = {"stop bits unchanged", "1 stop bit", "2 stop bits", "1.5 stop bits"};
        if (byte() >= 0 && byte() <= 3)
            return QLatin1String(names[byte()]);
        break;
    }
    case Rfc2217Session::SetControl:
        if (byte() == Rfc2217Session::NoFlowControl)
            return QStringLiteral("no flow control");
        if (byte() >= 0)
            return QStringLiteral("control setting %1").arg(byte());
        break;
    case Rfc2217Session::PurgeData:
        if (byte() == Rfc2217Session::PurgeBoth)
            return QStringLiteral("the purge of both buffers");
        if (byte() >= 0)
            return QStringLiteral("purge %1").arg(byte());
        break;
    default:
        break;
    }
    return QStringLiteral("the value %1").arg(QString::fromLatin1(value.toHex(' ')));
}

Rfc2217Session::Rfc2217Session(const LineSettings& line) : wanted_(line)
{
    codec_.acceptWhenAsked(Binary, TelnetCodec::Side::Local);
    codec_.acceptWhenAsked(Binary, TelnetCodec::Side::Remote);
    codec_.acceptWhenAsked(ComPort, TelnetCodec::Side::Local);
    // Harmless, and what a serial server offers anyway.
    codec_.acceptWhenAsked(SuppressGoAhead, TelnetCodec::Side::Local);
    codec_.acceptWhenAsked(SuppressGoAhead, TelnetCodec::Side::Remote);
}

QByteArray Rfc2217Session::start(double nowMs)
{
    (void)nowMs;
    return codec_.request(Binary, TelnetCodec::Side::Local) + codec_.request(Binary, TelnetCodec::Side::Remote)
        + codec_.request(ComPort, TelnetCodec::Side::Local);
}

void Rfc2217Session::receive(QByteArrayView bytes, double nowMs, QByteArray& data, QByteArray& toServer)
{
    // Until the session is ready a byte at a time: data before the purge's answer is stale, data
    // after it the line's.
    while (!bytes.isEmpty() && state_ != State::Failed) {
        const QByteArrayView chunk = state_ == State::Ready ? bytes : bytes.first(1);
        bytes = bytes.sliced(chunk.size());
        TelnetCodec::Output out;
        codec_.receive(chunk, out);
        toServer += out.reply;
        const bool wasReady = state_ == State::Ready;
        for (const TelnetCodec::Event& e : out.events) {
            event(e, nowMs);
            if (state_ == State::Failed)
                return;
        }
        if (state_ == State::Negotiating)
            checkNegotiated(nowMs, toServer);
        if (state_ == State::Configuring && pending_.empty())
            state_ = State::Ready;
        if (wasReady)
            data += out.data;
        else if (stale_.size() < 80)
            stale_ += out.data.left(80 - stale_.size());
    }
}

void Rfc2217Session::event(const TelnetCodec::Event& e, double nowMs)
{
    using Kind = TelnetCodec::Event::Kind;
    const bool ours = e.option == Binary || (e.option == ComPort && e.side == TelnetCodec::Side::Local);
    switch (e.kind) {
    case Kind::OptionOn:
        return;
    case Kind::OptionOff:
        if (!ours)
            return;
        if (state_ == State::Negotiating)
            fail(NetFailure::Kind::Rfc2217Refused, e.option == Binary ? QStringLiteral("it refuses binary mode")
                                                                      : QStringLiteral("it refuses the COM-PORT option"));
        else
            fail(NetFailure::Kind::Malformed, e.option == Binary ? QStringLiteral("binary mode switched off")
                                                                 : QStringLiteral("the COM-PORT option switched off"));
        return;
    case Kind::SubNegotiation:
        if (e.option == ComPort && !e.payload.isEmpty() && quint8(e.payload.at(0)) >= ServerOffset)
            answer(quint8(e.payload.at(0)) - ServerOffset, e.payload.mid(1), nowMs);
        return;
    case Kind::Malformed:
        fail(state_ == State::Negotiating ? NetFailure::Kind::Rfc2217Refused : NetFailure::Kind::Malformed,
             state_ == State::Negotiating ? QStringLiteral("it does not speak Telnet: %1").arg(e.what) : e.what);
        return;
    }
}

void Rfc2217Session::checkNegotiated(double nowMs, QByteArray& toServer)
{
    using Side = TelnetCodec::Side;
    if (!codec_.isOn(Binary, Side::Local) || !codec_.isOn(Binary, Side::Remote) || !codec_.isOn(ComPort, Side::Local))
        return;
    state_ = State::Configuring;
    // All at once: the answers come back in one round trip.
    toServer += ask(Signature, {}, nowMs);
    toServer += settingsCommands(wanted_, std::nullopt, nowMs);
    toServer += purge(nowMs);
}

QByteArray Rfc2217Session::ask(quint8 command, const QByteArray& value, double nowMs)
{
    pending_.push_back({command, value, nowMs});
    return TelnetCodec::subNegotiation(ComPort, oneByte(command) + value);
}

QByteArray Rfc2217Session::settingsCommands(const LineSettings& line, const std::optional<LineSettings>& from, double nowMs)
{
    QByteArray out;
    if (!from || from->baud != line.baud)
        out += ask(SetBaudRate, baudValue(quint32(line.baud)), nowMs);
    if (!from || from->dataBits != line.dataBits)
        out += ask(SetDataSize, oneByte(quint8(line.dataBits)), nowMs);
    if (!from || from->parity != line.parity)
        out += ask(SetParity, oneByte(parityCode(line.parity)), nowMs);
    if (!from || from->stopBits != line.stopBits)
        out += ask(SetStopSize, oneByte(stopCode(line.stopBits)), nowMs);
    if (!from)
        out += ask(SetControl, oneByte(NoFlowControl), nowMs);
    return out;
}

QByteArray Rfc2217Session::setLine(const LineSettings& line, double nowMs)
{
    if (state_ == State::Negotiating)
        wanted_ = line;
    if (state_ != State::Ready && state_ != State::Configuring)
        return {};
    const LineSettings from = wanted_;
    wanted_ = line;
    return settingsCommands(line, from, nowMs);
}

QByteArray Rfc2217Session::purge(double nowMs)
{
    if (state_ != State::Ready && state_ != State::Configuring)
        return {};
    return ask(PurgeData, oneByte(PurgeBoth), nowMs);
}

void Rfc2217Session::answer(quint8 code, const QByteArray& value, double nowMs)
{
    const auto it = std::find_if(pending_.begin(), pending_.end(), [code](const Request& r) { return r.command == code; });
    if (it == pending_.end())
        return; // a notification, or an answer nobody asked for
    const Request request = *it;
    pending_.erase(it);
    answerTimes_.push_back(nowMs - request.sentMs);
    if (answerTimes_.size() > 64)
        answerTimes_.erase(answerTimes_.begin());
    if (code == Signature) {
        signature_ = printable(value);
        return;
    }
    if (value != request.value) {
        fail(NetFailure::Kind::SettingRefused, QStringLiteral("asked for %1, it set %2")
                 .arg(comPortValueText(code, request.value), comPortValueText(code, value)));
        return;
    }
    switch (code) {
    case SetBaudRate: confirmed_.baud = wanted_.baud; break;
    case SetDataSize: confirmed_.dataBits = wanted_.dataBits; break;
    case SetParity: confirmed_.parity = wanted_.parity; break;
    case SetStopSize: confirmed_.stopBits = wanted_.stopBits; break;
    default: break;
    }
}

std::optional<double> Rfc2217Session::oldestRequestMs() const
{
    std::optional<double> oldest;
    for (const Request& r : pending_) {
        if (r.command != Signature && (!oldest || r.sentMs < *oldest))
            oldest = r.sentMs;
    }
    return oldest;
}

QString Rfc2217Session::oldestRequestText() const
{
    const Request* oldest = nullptr;
    for (const Request& r : pending_) {
        if (r.command != Signature && (!oldest || r.sentMs < oldest->sentMs))
            oldest = &r;
    }
    return oldest ? comPortValueText(oldest->command, oldest->value) : QString();
}

std::optional<double> Rfc2217Session::roundTripMs() const
{
    if (answerTimes_.empty())
        return std::nullopt;
    return *std::min_element(answerTimes_.begin(), answerTimes_.end());
}

void Rfc2217Session::fail(NetFailure::Kind kind, const QString& detail)
{
    state_ = State::Failed;
    failure_ = {kind, detail};
}

} // namespace quillon
