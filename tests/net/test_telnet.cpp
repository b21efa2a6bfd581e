// SPDX-License-Identifier: GPL-3.0-or-later
// Network port names, the Telnet layer and the RFC 2217 client, without any I/O.

#include "link/netportname.h"
#include "link/portdoctor.h"
#include "link/rfc2217session.h"
#include "link/telnetcodec.h"

#include <gtest/gtest.h>

using namespace quillon;
using Side = TelnetCodec::Side;
using Kind = TelnetCodec::Event::Kind;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// ---------------------------------------------------------------- names

TEST(NetPortNames, eachFormIsTakenApartOrRefusedWithWhatIsWrong)
{
    struct Row {
        const char* text;
        NetPortName::Kind kind;
        const char* host;
        quint16 port;
        const char* error; // empty: accepted
    };
    const Row rows[] = {
        {"rfc2217://rack3:4001", NetPortName::Kind::Rfc2217, "rack3", 4001, ""},
        {" SOCKET://10.0.0.7:7001 ", NetPortName::Kind::RawTcp, "10.0.0.7", 7001, ""},
        {"rfc2217://[fd00::7]:4001", NetPortName::Kind::Rfc2217, "fd00::7", 4001, ""},
        {"rfc2217://serial-server.studio_b.example:65535", NetPortName::Kind::Rfc2217, "serial-server.studio_b.example", 65535, ""},
        {"rfc2217://rack3", {}, "", 0, "port number is missing"},
        {"rfc2217://:4001", {}, "", 0, "server is missing"},
        {"rfc2217://rack3:0", {}, "", 0, "not a port number"},
        {"rfc2217://rack3:65536", {}, "", 0, "not a port number"},
        {"rfc2217://rack3:40x1", {}, "", 0, "not a port number"},
        {"rfc2217://rack3:4001/", {}, "", 0, "not a port number"},
        {"rfc2217://fd00::7:4001", {}, "", 0, "IPv6 address goes in brackets"},
        {"rfc2217://[fd00::7:4001", {}, "", 0, "no closing"},
        {"rfc2217://[10.0.0.7]:4001", {}, "", 0, "not an IPv6 address"},
        {"rfc2217://[fd00::7]4001", {}, "", 0, "port number is missing"},
        {"rfc2217://rack 3:4001", {}, "", 0, "not a host name"},
        {"telnet://rack3:4001", {}, "", 0, "no kind of network port"},
    };
    for (const Row& row : rows) {
        QString error;
        const auto parsed = parseNetPortName(QString::fromLatin1(row.text), &error);
        EXPECT_TRUE(looksLikeNetPortName(QString::fromLatin1(row.text))) << row.text;
        if (*row.error) {
            EXPECT_FALSE(parsed) << row.text;
            EXPECT_TRUE(error.contains(QLatin1String(row.error))) << row.text << ": " << error.toStdString();
            EXPECT_EQ(netPortVerdict(QString::fromLatin1(row.text)), error);
            continue;
        }
        ASSERT_TRUE(parsed) << row.text << ": " << error.toStdString();
        EXPECT_EQ(parsed->kind, row.kind) << row.text;
        EXPECT_EQ(parsed->host, QLatin1String(row.host)) << row.text;
        EXPECT_EQ(parsed->port, row.port) << row.text;
        EXPECT_EQ(parseNetPortName(parsed->text()), parsed) << "written back the same";
    }
    for (const char* device : {"/dev/ttyUSB0", "COM3", "usb:0403:6001:A50285BI", "/dev/serial/by-id/usb-FTDI"})
        EXPECT_FALSE(looksLikeNetPortName(QString::fromLatin1(device))) << device;

    // The port lists and the Port Assignment dialog judge a network port by its name alone.
    const SystemPortCatalogue catalogue;
    const SystemPortDoctor doctor(catalogue);
    EXPECT_TRUE(doctor.verdict(QStringLiteral("rfc2217://rack3:4001")).startsWith(QStringLiteral("network port (RFC 2217) on rack3:4001")));
    EXPECT_TRUE(doctor.explain(QStringLiteral("socket://rack3:4001")).contains(QStringLiteral("ports --probe socket://rack3:4001")));
    EXPECT_TRUE(doctor.verdict(QStringLiteral("rfc2217://rack3")).contains(QStringLiteral("port number is missing")));
    EXPECT_TRUE(doctor.explain(QStringLiteral("rfc2217://rack3")).contains(QStringLiteral("Next step")));
}

// ---------------------------------------------------------------- Telnet

TelnetCodec::Output feed(TelnetCodec& codec, const QByteArray& bytes)
{
    TelnetCodec::Output out;
    codec.receive(bytes, out);
    return out;
}

TEST(Telnet, dataIsUnescapedAcrossChunksAndEscapedOnTheWayOut)
{
    TelnetCodec codec;
    EXPECT_EQ(TelnetCodec::escape(hex("01ff02ffff")), hex("01ffff02ffffffff"));
    QByteArray data;
    for (const QByteArray& chunk : {hex("01ff"), hex("ff02ff"), hex("ffff"), hex("ff03")})
        data += feed(codec, chunk).data;
    EXPECT_EQ(data, hex("01ff02ffff03"));
    // Commands that mean nothing to a line (NOP, GA, a stray SE) are dropped without a word.
    const TelnetCodec::Output out = feed(codec, hex("41fff142fff9fff043"));
    EXPECT_EQ(out.data, QByteArray("ABC"));
    EXPECT_TRUE(out.reply.isEmpty());
    EXPECT_TRUE(out.events.empty());
}

TEST(Telnet, optionsAreAnsweredOnceAndOnlyWhenTheyChange)
{
    TelnetCodec codec;
    codec.acceptWhenAsked(telnet::Binary, Side::Remote);
    codec.acceptWhenAsked(telnet::Binary, Side::Local);
    EXPECT_EQ(codec.request(telnet::ComPort, Side::Local), hex("fffb2c"));
    EXPECT_TRUE(codec.request(telnet::ComPort, Side::Local).isEmpty()) << "asked once";
    EXPECT_TRUE(codec.isPending(telnet::ComPort, Side::Local));

    struct Step {
        const char* server;
        const char* reply;
    };
    const Step steps[] = {
        {"fffd2c", ""},         // DO COM-PORT acknowledges our WILL: no answer
        {"fffd2c", ""},         // again: already on
        {"fffb00", "fffd00"},   // WILL BINARY, accepted
        {"fffd00", "fffb00"},   // DO BINARY, accepted
        {"fffb01", "fffe01"},   // WILL ECHO, refused
        {"fffb01", "fffe01"},   // asked again: refused again (still off)
        {"fffc01", ""},         // WONT ECHO while off: nothing
        {"fffe00", "fffc00"},   // DONT BINARY: off, confirmed
        {"fffe2c", "fffc2c"},   // DONT COM-PORT
    };
    for (const Step& step : steps)
        EXPECT_EQ(feed(codec, hex(step.server)).reply, hex(step.reply)) << step.server;
    EXPECT_TRUE(codec.isOn(telnet::Binary, Side::Remote));
    EXPECT_FALSE(codec.isOn(telnet::Binary, Side::Local));
    EXPECT_FALSE(codec.isOn(telnet::ComPort, Side::Local));

    // A server that keeps switching an option gets its share of answers, then an error.
    QByteArray loop;
    for (int i = 0; i < 300; ++i)
        loop += hex("fffb00fffc00");
    const TelnetCodec::Output out = feed(codec, loop);
    EXPECT_LE(out.reply.size(), 3 * TelnetCodec::MaxOptionChanges);
    EXPECT_EQ(std::count_if(out.events.begin(), out.events.end(), [](const auto& e) { return e.kind == Kind::Malformed; }), 1);
}

TEST(Telnet, subNegotiationsAreBoundedAndWhatIsNotTelnetIsReported)
{
    TelnetCodec codec;
    EXPECT_EQ(TelnetCodec::subNegotiation(telnet::ComPort, hex("01000025ff")), hex("fffa2c01000025fffffff0"));
    TelnetCodec::Output out = feed(codec, hex("fffa2c65") + hex("0000ffff80") + hex("fff0") + "A");
    ASSERT_EQ(out.events.size(), 1u);
    EXPECT_EQ(out.events[0].kind, Kind::SubNegotiation);
    EXPECT_EQ(out.events[0].option, telnet::ComPort);
    EXPECT_EQ(out.events[0].payload, hex("650000ff80"));
    EXPECT_EQ(out.data, QByteArray("A"));

    struct Row {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"overlong", hex("fffa2c") + QByteArray(100000, 'z') + hex("fff0")},
        {"cut short", hex("fffa2c65fffd00")},
        {"no command", hex("ff05")},
    };
    for (const Row& row : rows) {
        TelnetCodec fresh;
        out = feed(fresh, row.bytes);
        EXPECT_EQ(std::count_if(out.events.begin(), out.events.end(), [](const auto& e) { return e.kind == Kind::Malformed; }), 1)
            << row.name;
        EXPECT_TRUE(out.data.isEmpty()) << row.name;
    }
}

// ---------------------------------------------------------------- RFC 2217

// The server's side of a good opening: agrees, then answers each setting as asked.
const QByteArray Agree = hex("fffd00fffb00fffd2c");
QByteArray answer(const char* commandAndValue) { return hex("fffa2c") + hex(commandAndValue) + hex("fff0"); }
const QByteArray Answers = answer("64") + answer("6500002580") + answer("6608") + answer("6701") + answer("6802")
    + answer("6901") + answer("7003");

struct Heard {
    QByteArray data;
    QByteArray toServer;
};

Heard feed(Rfc2217Session& session, const QByteArray& bytes, qint64 nowMs)
{
    Heard run;
    session.receive(bytes, nowMs, run.data, run.toServer);
    return run;
}

TEST(Rfc2217, theOpeningSetsEachPartOfTheLineAndIsReadyOnlyWhenAllWereConfirmed)
{
    Rfc2217Session session({9600, 'n', 8, 2});
    EXPECT_EQ(session.start(0), hex("fffb00fffd00fffb2c"));
    const Heard agreed = feed(session, Agree + "stale", 10);
    EXPECT_EQ(session.state(), Rfc2217Session::State::Configuring);
    EXPECT_EQ(agreed.toServer, hex("fffa2c00fff0") + hex("fffa2c0100002580fff0") + hex("fffa2c0208fff0")
                                   + hex("fffa2c0301fff0") + hex("fffa2c0402fff0") + hex("fffa2c0501fff0")
                                   + hex("fffa2c0c03fff0"));
    EXPECT_EQ(session.oldestRequestMs(), 10);
    // Every answer but the purge's: not ready, and data is still stale.
    const Heard most = feed(session, Answers.chopped(answer("7003").size()) + "old", 30);
    EXPECT_EQ(session.state(), Rfc2217Session::State::Configuring);
    EXPECT_TRUE(most.data.isEmpty());
    const Heard last = feed(session, answer("7003") + hex("16ffff"), 40);
    EXPECT_EQ(session.state(), Rfc2217Session::State::Ready);
    EXPECT_EQ(last.data, hex("16ff")) << "the line's data begins after the purge's answer";
    EXPECT_EQ(session.staleData(), QByteArray("staleold"));
    EXPECT_EQ(session.roundTripMs(), 20.0);
    EXPECT_EQ(session.confirmed(), (LineSettings{9600, 'n', 8, 2}));

    // The switch to 1200 baud sends the speed alone, and its answer is checked in turn.
    EXPECT_EQ(session.setLine({1200, 'n', 8, 2}, 100), hex("fffa2c01000004b0fff0"));
    EXPECT_TRUE(session.setLine({1200, 'n', 8, 2}, 101).isEmpty()) << "nothing changed";
    feed(session, answer("65000004b0"), 160);
    EXPECT_FALSE(session.oldestRequestMs());
    EXPECT_EQ(session.confirmed().baud, 1200);
    EXPECT_EQ(Rfc2217Session::encode(hex("ff")), hex("ffff"));
}

TEST(Rfc2217, refusalsAndWrongAnswersFailWithTheirReason)
{
    struct Row {
        const char* name;
        QByteArray server;
        NetFailure::Kind kind;
        const char* detail;
    };
    const Row rows[] = {
        {"COM-PORT refused", hex("fffd00fffb00fffe2c"), NetFailure::Kind::Rfc2217Refused, "COM-PORT"},
        {"binary refused", hex("fffc00"), NetFailure::Kind::Rfc2217Refused, "binary"},
        {"speed not taken", Agree + answer("64") + answer("6500004b00"), NetFailure::Kind::SettingRefused,
         "asked for 9600 baud, it set 19200 baud"},
        {"one stop bit", Agree + answer("6500002580") + answer("6608") + answer("6701") + answer("6801"),
         NetFailure::Kind::SettingRefused, "asked for 2 stop bits, it set 1 stop bit"},
        {"flow control kept", Agree + answer("6902"), NetFailure::Kind::SettingRefused, "control setting 2"},
        {"binary switched off later", Agree + Answers + hex("fffc00"), NetFailure::Kind::Malformed, "binary mode"},
    };
    for (const Row& row : rows) {
        Rfc2217Session session({9600, 'n', 8, 2});
        session.start(0);
        feed(session, row.server, 5);
        EXPECT_EQ(session.state(), Rfc2217Session::State::Failed) << row.name;
        EXPECT_EQ(session.failure().kind, row.kind) << row.name;
        EXPECT_TRUE(session.failure().detail.contains(QLatin1String(row.detail)))
            << row.name << ": " << session.failure().detail.toStdString();
        EXPECT_TRUE(feed(session, hex("41"), 6).data.isEmpty()) << row.name << ": nothing after a failure";
    }
}

} // namespace
