// SPDX-License-Identifier: GPL-3.0-or-later
// kx40-sim: a simulated KX40 card on a pseudo-terminal, for trying the program and the
// command-line tool without a card, and for the end-to-end tests.

#include "ptycard.h"
#include "simulatedcard.h"

#include "link/qtlinkclock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

void say(const QString& line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

void complain(const QString& line)
{
    QTextStream err(stderr);
    err << "kx40-sim: " << line << Qt::endl;
}

struct Parsed {
    CardOptions card;
    QString link;
    QString saveImage;
    bool print = false;
    bool verbose = false;
};

bool readNumber(const QCommandLineParser& parser, const QString& name, int low, int high, int& out)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok, 0);
    if (!ok || value < low || value > high) {
        complain(QStringLiteral("--%1 takes a number from %2 to %3").arg(name, QString::number(low), QString::number(high)));
        return false;
    }
    out = value;
    return true;
}

std::optional<Parsed> parse(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated KX40 card on a pseudo-terminal. Prints the device path the host is to open "
        "on its first line, then what happens. SIGTERM or SIGINT stop it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Create a symbolic link to the device at <path>."), QStringLiteral("path")},
        {QStringLiteral("card"), QStringLiteral("Card type: sid (default) or avm."), QStringLiteral("type"), QStringLiteral("sid")},
        {QStringLiteral("image"), QStringLiteral("The card's set-up image, read raw from <file>."), QStringLiteral("file")},
        {QStringLiteral("setup-version"), QStringLiteral("Set-up version the card reports (default: 0 for a SID card, else its image's, at least 1)."), QStringLiteral("n")},
        {QStringLiteral("flash-result"), QStringLiteral("Result of writing a received image: 0 ok, 1..3 errors."), QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("flash-ms"), QStringLiteral("Time to write a received image to flash, after acknowledging it (default 300)."), QStringLiteral("ms"), QStringLiteral("300")},
        {QStringLiteral("implicit-ack"), QStringLiteral("Do not acknowledge a received image: send the flash result at once in its place.")},
        {QStringLiteral("ack-before-flash"), QStringLiteral("Acknowledge a received image before the flash result (the default).")},
        {QStringLiteral("save-image"), QStringLiteral("Write each image received to <file>."), QStringLiteral("file")},
        {QStringLiteral("print"), QStringLiteral("Print each image received in hexadecimal.")},
        {QStringLiteral("nack"), QStringLiteral("Refuse the next <n> host data frames with a NACK."), QStringLiteral("n")},
        {QStringLiteral("ignore"), QStringLiteral("Ignore the next <n> host data frames, as if lost."), QStringLiteral("n")},
        {QStringLiteral("drop-acks"), QStringLiteral("Do not acknowledge the next <n> host data frames."), QStringLiteral("n")},
        {QStringLiteral("ack-delay"), QStringLiteral("Handle every host data frame <ms> late."), QStringLiteral("ms")},
        {QStringLiteral("corrupt-crc"), QStringLiteral("Send the next <n> own data frames with a wrong CRC."), QStringLiteral("n")},
        {QStringLiteral("faults-from-start"), QStringLiteral("Arm the faults above at once, not when the card has identified itself.")},
        {QStringLiteral("syn-mid-transfer"), QStringLiteral("Answer the first request after identification with a SYN.")},
        {QStringLiteral("unknown-device"), QStringLiteral("Send three stray bytes where a card sends its SYN.")},
        {QStringLiteral("silent"), QStringLiteral("Never send anything.")},
        {QStringLiteral("no-identify"), QStringLiteral("Set up the link and answer keep-alives, but never identify.")},
        {QStringLiteral("instant"), QStringLiteral("Bytes take no time on the line (for tests of logic only).")},
        {QStringLiteral("pace"), QStringLiteral("Bytes take their time on the line at its speed (the default).")},
        {QStringLiteral("store-differently"), QStringLiteral("Keep each image received with one byte changed (a SID card's audio level, an AVM card's last byte), as a faulty flash would.")},
        {QStringLiteral("serial"), QStringLiteral("The card's serial number: 5 bytes as 10 hexadecimal digits (default 4B58343031)."), QStringLiteral("hex")},
        {QStringLiteral("verbose"), QStringLiteral("Log every packet on stderr.")},
    });
    parser.process(app);

    Parsed p;
    p.link = parser.value(QStringLiteral("link"));
    p.saveImage = parser.value(QStringLiteral("save-image"));
    p.print = parser.isSet(QStringLiteral("print"));
    p.verbose = parser.isSet(QStringLiteral("verbose"));

    const QString type = parser.value(QStringLiteral("card")).toLower();
    if (type != QLatin1String("sid") && type != QLatin1String("avm")) {
        complain(QStringLiteral("--card is sid or avm"));
        return std::nullopt;
    }
    CardOptions& card = p.card;
    card.kind = type == QLatin1String("avm") ? CardKind::Avm : CardKind::Sid;
    if (parser.isSet(QStringLiteral("image"))) {
        QFile file(parser.value(QStringLiteral("image")));
        if (!file.open(QIODevice::ReadOnly)) {
            complain(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
            return std::nullopt;
        }
        card.image = file.readAll();
        if (card.image.size() < 2 || card.image.size() > 1024 || card.image.at(0) != char(24)) {
            complain(QStringLiteral("%1 is not a set-up image (2 to 1024 bytes, first byte 24)").arg(file.fileName()));
            return std::nullopt;
        }
    }
    int flashResult = 0;
    bool ok = readNumber(parser, QStringLiteral("setup-version"), 0, 255, card.version)
        && readNumber(parser, QStringLiteral("flash-result"), 0, 255, flashResult)
        && readNumber(parser, QStringLiteral("flash-ms"), 0, 600000, card.flashMs)
        && readNumber(parser, QStringLiteral("nack"), 0, 1000, card.faults.nackNext)
        && readNumber(parser, QStringLiteral("ignore"), 0, 1000, card.faults.ignoreNext)
        && readNumber(parser, QStringLiteral("drop-acks"), 0, 1000, card.faults.dropAcks)
        && readNumber(parser, QStringLiteral("ack-delay"), 0, 60000, card.faults.ackDelayMs)
        && readNumber(parser, QStringLiteral("corrupt-crc"), 0, 1000, card.faults.corruptCrcNext);
    if (!ok)
        return std::nullopt;
    card.flashResult = static_cast<quint8>(flashResult);
    card.implicitAck = parser.isSet(QStringLiteral("implicit-ack"));
    card.faultsFromStart = parser.isSet(QStringLiteral("faults-from-start"));
    card.synAfterIdentification = parser.isSet(QStringLiteral("syn-mid-transfer"));
    card.unknownDevice = parser.isSet(QStringLiteral("unknown-device"));
    card.silent = parser.isSet(QStringLiteral("silent"));
    card.neverIdentify = parser.isSet(QStringLiteral("no-identify"));
    card.paceAtLineRate = !parser.isSet(QStringLiteral("instant"));
    card.storeDifferently = parser.isSet(QStringLiteral("store-differently"));
    if (parser.isSet(QStringLiteral("serial"))) {
        static const QRegularExpression hex10(QStringLiteral("^[0-9A-Fa-f]{10}$"));
        const QString serial = parser.value(QStringLiteral("serial"));
        if (!hex10.match(serial).hasMatch()) {
            complain(QStringLiteral("--serial takes 10 hexadecimal digits, such as 4B58343031"));
            return std::nullopt;
        }
        card.serialNumber = QByteArray::fromHex(serial.toLatin1());
    }
    return p;
}

bool saveImage(const QString& path, const QByteArray& image)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(image) == image.size() && file.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx40-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    const auto parsed = parse(app);
    if (!parsed)
        return 2;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        complain(QStringLiteral("cannot set up signal handling"));
        return 1;
    }
    QSocketNotifier stopper(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    QtLinkClock clock;
    SimulatedCard card(clock, parsed->card);
    PtyCard pty(card, parsed->card.paceAtLineRate);
    QString error;
    if (!pty.open(parsed->link, &error)) {
        complain(error);
        return 1;
    }

    card.onBaudChanged = [](int baud) { say(QStringLiteral("card at %1 baud").arg(baud)); };
    pty.onHostSpeedChanged = [](int baud) { say(QStringLiteral("host at %1 baud").arg(baud)); };
    pty.onNotice = [](const QString& line) { say(line); };
    pty.meter.onReport = [](const QString& line) { say(line); };
    card.onImageReceived = [&parsed](const QByteArray& image) {
        say(QStringLiteral("image received: %1 bytes, version %2%3")
                .arg(QString::number(image.size()), QString::number(image.size() > 1 ? quint8(image.at(1)) : 0),
                     parsed->card.storeDifferently ? QStringLiteral(", stored with one byte changed") : QString()));
        if (parsed->print)
            say(QString::fromLatin1(image.toHex(' ')));
        if (!parsed->saveImage.isEmpty() && !saveImage(parsed->saveImage, image))
            complain(QStringLiteral("cannot write %1").arg(parsed->saveImage));
    };
    card.onIdentified = [&pty] {
        pty.meter.identified();
        say(QStringLiteral("identified to the host"));
    };
    card.onNotice = [](const QString& line) { say(line); };
    if (parsed->verbose)
        card.onLog = [](const QString& line) { complain(line); };

    say(pty.linkPath().isEmpty() ? pty.slaveName() : pty.linkPath());
    say(QStringLiteral("serial number %1").arg(QString::fromLatin1(parsed->card.serialNumber.toHex().toUpper())));
    card.start();
    const int status = app.exec();
    card.stop();
    return status;
}
