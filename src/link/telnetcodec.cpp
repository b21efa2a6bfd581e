// SPDX-License-Identifier: GPL-3.0-or-later
#include "telnetcodec.h"

namespace quillon {

using namespace telnet;

namespace {

QByteArray three(quint8 a, quint8 b, quint8 c)
{
    QByteArray bytes(3, '\0');
    bytes[0] = char(a);
    bytes[1] = char(b);
    bytes[2] = char(c);
    return bytes;
}

QString hexByte(quint8 byte)
{
    return QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0'));
}

} // namespace

void TelnetCodec::acceptWhenAsked(quint8 option, Side side, bool accept)
{
    (side == Side::Local ? acceptLocal_ : acceptRemote_).set(option, accept);
}

QByteArray TelnetCodec::request(quint8 option, Side side)
{
    Q& q = state(side, option);
    if (q != Q::No)
        return {};
    q = Q::WantYes;
    return three(Iac, side == Side::Local ? Will : Do, option);
}

bool TelnetCodec::isOn(quint8 option, Side side) const
{
    return state(side, option) == Q::Yes;
}

bool TelnetCodec::isPending(quint8 option, Side side) const
{
    const Q q = state(side, option);
    return q == Q::WantYes || q == Q::WantNo;
}

void TelnetCodec::receive(QByteArrayView bytes, Output& out)
{
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        switch (parse_) {
        case Parse::Data:
            if (b == Iac)
                parse_ = Parse::Iac;
            else
                out.data.append(c);
            break;
        case Parse::Iac:
            parse_ = Parse::Data;
            if (b == Iac) {
                out.data.append(c);
            } else if (b == Will || b == Wont || b == Do || b == Dont) {
                verb_ = b;
                parse_ = Parse::Verb;
            } else if (b == Sb) {
                parse_ = Parse::SbOption;
            } else if (b < Se) {
                malformed(QStringLiteral("IAC followed by %1, which is no Telnet command").arg(hexByte(b)), out);
            } // the other commands (NOP, GA, a stray SE and the like) mean nothing to a serial line
            break;
        case Parse::Verb:
            parse_ = Parse::Data;
            command(verb_, b, out);
            break;
        case Parse::SbOption:
            sbOption_ = b;
            sb_.clear();
            sbOverflow_ = false;
            parse_ = Parse::SbData;
            break;
        case Parse::SbData:
            if (b == Iac) {
                parse_ = Parse::SbIac;
            } else if (sb_.size() < MaxSubNegotiation) {
                sb_.append(c);
            } else if (!std::exchange(sbOverflow_, true)) {
                malformed(QStringLiteral("a sub-negotiation longer than %1 bytes").arg(MaxSubNegotiation), out);
            }
            break;
        case Parse::SbIac:
            if (b == Iac) {
                parse_ = Parse::SbData;
                if (sb_.size() < MaxSubNegotiation)
                    sb_.append(c);
            } else if (b == Se) {
                parse_ = Parse::Data;
                if (!sbOverflow_)
                    out.events.push_back({Event::Kind::SubNegotiation, Side::Remote, sbOption_, sb_, {}});
                sb_.clear();
            } else {
                // A command inside a sub-negotiation ends it unfinished; the command counts.
                malformed(QStringLiteral("a sub-negotiation cut short by IAC %1").arg(hexByte(b)), out);
                sb_.clear();
                parse_ = Parse::Iac;
                receive(QByteArrayView(&c, 1), out);
            }
            break;
        }
    }
}

// RFC 1143, without its queue: this side never changes its mind while a request is open.
void TelnetCodec::command(quint8 verb, quint8 option, Output& out)
{
    const bool enable = verb == Will || verb == Do;
    const Side side = (verb == Do || verb == Dont) ? Side::Local : Side::Remote;
    optionState(side, option, enable, out);
}

void TelnetCodec::optionState(Side side, quint8 option, bool enable, Output& out)
{
    Q& q = state(side, option);
    const quint8 yes = side == Side::Local ? Will : Do;
    const quint8 no = side == Side::Local ? Wont : Dont;
    const bool accepted = (side == Side::Local ? acceptLocal_ : acceptRemote_).test(option);
    const Q before = q;
    if (enable) {
        switch (q) {
        case Q::No:
            q = accepted ? Q::Yes : Q::No;
            break;
        case Q::Yes:
            return; // already on: an acknowledgement needs no answer
        case Q::WantNo: // a refusal answered with an offer: it stays off
            q = Q::No;
            break;
        case Q::WantYes:
            q = Q::Yes;
            break;
        }
    } else {
        switch (q) {
        case Q::No:
            return;
        case Q::Yes:
        case Q::WantNo:
        case Q::WantYes:
            q = Q::No;
            break;
        }
    }
    // Only a change of state is answered, and only so often: a server that keeps switching an
    // option gets no more answers once it has had its share.
    const bool answer = before == Q::No || before == Q::Yes;
    if (answer && ++optionChanges_ > MaxOptionChanges) {
        if (!std::exchange(loopReported_, true))
            malformed(QStringLiteral("more than %1 changes of Telnet options").arg(MaxOptionChanges), out);
        return;
    }
    if (answer)
        out.reply += three(Iac, q == Q::Yes ? yes : no, option);
    if (q == Q::Yes && before != Q::Yes)
        out.events.push_back({Event::Kind::OptionOn, side, option, {}, {}});
    else if (q == Q::No && before != Q::No)
        out.events.push_back({Event::Kind::OptionOff, side, option, {}, {}});
}

void TelnetCodec::malformed(const QString& what, Output& out)
{
    out.events.push_back({Event::Kind::Malformed, Side::Remote, 0, {}, what});
}

QByteArray TelnetCodec::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size() + data.count(char(Iac)));
    for (const char c : data) {
        out.append(c);
        if (static_cast<quint8>(c) == Iac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::subNegotiation(quint8 option, QByteArrayView payload)
{
    QByteArray out;
    out.append(char(Iac)).append(char(Sb)).append(char(option));
    out += escape(payload);
    out.append(char(Iac)).append(char(Se));
    return out;
}

} // namespace quillon
