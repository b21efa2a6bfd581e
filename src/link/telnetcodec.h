// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <bitset>
#include <vector>

namespace quillon {

namespace telnet {
inline constexpr quint8 Se = 240;
inline constexpr quint8 Sb = 250;
inline constexpr quint8 Will = 251;
inline constexpr quint8 Wont = 252;
inline constexpr quint8 Do = 253;
inline constexpr quint8 Dont = 254;
inline constexpr quint8 Iac = 255;

inline constexpr quint8 Binary = 0;
inline constexpr quint8 SuppressGoAhead = 3;
inline constexpr quint8 ComPort = 44;
} // namespace telnet

// The Telnet layer of a connection to a serial server, on the client's side, without any I/O:
// the server's bytes go in; the line's data, the answers owed to the server and what happened
// come out. Options are negotiated as RFC 1143 says, so no server can draw it into a loop, and
// whatever the server sends, memory stays bounded: a sub-negotiation is kept up to
// MaxSubNegotiation bytes, and what comes out of one call is never more than a few times what
// went in.
class TelnetCodec {
public:
    // Local: this client performs the option (the server says DO/DONT, this side WILL/WONT).
    // Remote: the server performs it (WILL/WONT from the server, DO/DONT from here).
    enum class Side { Local, Remote };

    struct Event {
        enum class Kind {
            OptionOn,       // the option is now in effect on that side
            OptionOff,      // no longer in effect, or refused when asked for
            SubNegotiation, // IAC SB option ... IAC SE; payload unescaped, option byte not included
            Malformed,      // what the server sent is not Telnet; `what` says how
        };
        Kind kind = Kind::OptionOn;
        Side side = Side::Local;
        quint8 option = 0;
        QByteArray payload;
        QString what;
    };

    struct Output {
        QByteArray data;  // line data, IAC IAC taken back to one 0xFF
        QByteArray reply; // owed to the server, to be sent as it is
        std::vector<Event> events;
    };

    static constexpr int MaxSubNegotiation = 256;
    // Option changes the server may cause before it is taken for a server that loops.
    static constexpr int MaxOptionChanges = 200;

    // The options this client agrees to when the server asks (all others are refused).
    void acceptWhenAsked(quint8 option, Side side, bool accept = true);

    // Asks for an option to be enabled (WILL or DO); empty when it is on or already asked for.
    QByteArray request(quint8 option, Side side);
    bool isOn(quint8 option, Side side) const;
    // Asked for and not yet answered.
    bool isPending(quint8 option, Side side) const;

    void receive(QByteArrayView bytes, Output& out);

    // Line data for the server: every 0xFF doubled.
    static QByteArray escape(QByteArrayView data);
    // IAC SB option payload IAC SE, the payload escaped.
    static QByteArray subNegotiation(quint8 option, QByteArrayView payload);

private:
    enum class Q : quint8 { No, Yes, WantNo, WantYes };
    enum class Parse : quint8 { Data, Iac, Verb, SbOption, SbData, SbIac };

    void command(quint8 verb, quint8 option, Output& out);
    void optionState(Side side, quint8 option, bool enable, Output& out);
    void malformed(const QString& what, Output& out);
    Q& state(Side side, quint8 option) { return side == Side::Local ? local_[option] : remote_[option]; }
    Q state(Side side, quint8 option) const { return side == Side::Local ? local_[option] : remote_[option]; }

    std::array<Q, 256> local_{};
    std::array<Q, 256> remote_{};
    std::bitset<256> acceptLocal_;
    std::bitset<256> acceptRemote_;
    Parse parse_ = Parse::Data;
    quint8 verb_ = 0;
    quint8 sbOption_ = 0;
    QByteArray sb_;
    bool sbOverflow_ = false;
    int optionChanges_ = 0;
    bool loopReported_ = false;
};

} // namespace quillon
