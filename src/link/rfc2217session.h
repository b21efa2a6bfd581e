// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "netfailure.h"
#include "serialsettings.h"
#include "telnetcodec.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace quillon {

// RFC 2217 on the client's side, without any I/O: the Telnet negotiation of the COM-PORT option
// and of binary mode both ways, then the line's speed, data size, parity, stop bits and no flow
// control, each checked against the server's answer, and a purge of both of the server's
// buffers; then the line's data both ways. Control lines (DTR, RTS) are left alone: a serial
// server may not be able to set them (ser2net on a pseudo-terminal never answers them).
class Rfc2217Session {
public:
    enum class State { Negotiating, Configuring, Ready, Failed };

    // Command codes of the COM-PORT option; the server answers with the code plus 100.
    enum Command : quint8 {
        Signature = 0,
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        PurgeData = 12,
    };
    static constexpr quint8 ServerOffset = 100;
    static constexpr quint8 NoFlowControl = 1;
    static constexpr quint8 PurgeBoth = 3;

    explicit Rfc2217Session(const LineSettings& line);

    // The first bytes for the server: the offers of binary mode and the COM-PORT option.
    QByteArray start(double nowMs);
    // The server's bytes. The line's data goes to `data` once the session is ready (what comes
    // before is stale and dropped); what is owed to the server goes to `toServer`.
    void receive(QByteArrayView bytes, double nowMs, QByteArray& data, QByteArray& toServer);
    // The commands that put the line at these settings (only what changed); empty when nothing
    // changed, or before the line is configured (it then starts at these settings).
    QByteArray setLine(const LineSettings& line, double nowMs);
    // Drops what the server holds for the line in both directions.
    QByteArray purge(double nowMs);
    static QByteArray encode(QByteArrayView data) { return TelnetCodec::escape(data); }

    State state() const { return state_; }
    const NetFailure& failure() const { return failure_; }
    // Sent before this and still unanswered (for the limit on answers); nullopt when none is.
    std::optional<double> oldestRequestMs() const;
    // What the oldest unanswered request asked for ("the speed of 1200 baud").
    QString oldestRequestText() const;
    // The quickest answer to a request, in milliseconds: the round trip as measured.
    std::optional<double> roundTripMs() const;
    const std::vector<double>& answerTimesMs() const { return answerTimes_; }
    QString signature() const { return signature_; }
    // The line as the server confirmed it.
    const LineSettings& confirmed() const { return confirmed_; }
    // The first bytes of data that came before the session was ready (a server that refuses a
    // client may say why), at most 80.
    const QByteArray& staleData() const { return stale_; }

private:
    struct Request {
        quint8 command;
        QByteArray value;
        double sentMs;
    };
    QByteArray ask(quint8 command, const QByteArray& value, double nowMs);
    QByteArray settingsCommands(const LineSettings& line, const std::optional<LineSettings>& from, double nowMs);
    void event(const TelnetCodec::Event& e, double nowMs);
    void answer(quint8 code, const QByteArray& value, double nowMs);
    void checkNegotiated(double nowMs, QByteArray& toServer);
    void fail(NetFailure::Kind kind, const QString& detail);

    TelnetCodec codec_;
    State state_ = State::Negotiating;
    NetFailure failure_;
    LineSettings wanted_;
    LineSettings confirmed_;
    std::vector<Request> pending_;
    std::vector<double> answerTimes_;
    QString signature_;
    QByteArray stale_;
};

// The words for a setting's value as the server answered it: "1200 baud", "2 stop bits".
QString comPortValueText(quint8 command, const QByteArray& value);

} // namespace quillon
