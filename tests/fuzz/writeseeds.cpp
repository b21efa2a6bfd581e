// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets into a folder (tests/fuzz/corpus): link inputs
// recorded from the simulated card, set-up files and images from the program's own defaults and
// the edge cases of the tests.

#include "fuzzentries.h"

#include "files/setupfiles.h"
#include "setup/setupimage.h"
#include "simulatedcard.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace quillon;

namespace {

bool write(const QString& root, const char* target, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(root + u'/' + QLatin1String(target));
    QFile file(root + u'/' + QLatin1String(target) + u'/' + name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray withLine(int line, const QByteArray& content)
{
    QList<QByteArray> lines = setupText(defaultSetupValues()).split('\n');
    lines[line - 1] = content + '\r';
    return lines.join('\n');
}

// Chunks in telnetClient()'s input form: each chunk's bytes and the action after it.
QByteArray serverTalk(const std::vector<std::pair<QByteArray, quint8>>& chunks)
{
    QByteArray input;
    for (const auto& [bytes, action] : chunks) {
        for (qsizetype from = 0; from < bytes.size() || from == 0; from += 255) {
            const QByteArray part = bytes.mid(from, 255);
            input += char(part.size());
            input += char(from + 255 >= bytes.size() ? action : 0);
            input += part;
        }
    }
    return input;
}

QByteArray answer(const char* hex) { return QByteArray::fromHex(QByteArray("fffa2c") + hex + "fff0"); }

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write-fuzz-seeds FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (int start = 0; start < fuzz::linkStartCount(); ++start) {
        const fuzz::RecordedSeed seed = fuzz::recordedLinkSeed(start);
        const QString name = QStringLiteral("start-%1").arg(start, 2, 10, QLatin1Char('0'));
        std::printf("%s: %d bytes, %s\n", qPrintable(name), int(seed.input.size()),
                    seed.succeeded ? "succeeded" : "failed");
        ok &= write(root, "link_receiver", name, seed.input);
    }

    const QByteArray defaults = setupText(defaultSetupValues());
    QByteArray noCarriageReturns = defaults;
    noCarriageReturns.replace("\r", "");
    ok &= write(root, "setup_text", "defaults.kxd", defaults);
    ok &= write(root, "setup_text", "refused-level.kxd", withLine(13, "300%1"));
    ok &= write(root, "setup_text", "filtered-text.kxd", withLine(19, "\"Go! \"now\"\t\x01\xe9\""));
    ok &= write(root, "setup_text", "no-carriage-returns.kxd", noCarriageReturns);
    ok &= write(root, "setup_text", "sixty-lines.kxd", defaults.split('\n').mid(0, 60).join('\n') + '\n');

    const QByteArray sid = encodeSidImage(defaultSetupValues()).image;
    QByteArray edges = sid;
    edges[2] = char(188);
    edges[4] = char(128);
    edges[5] = char(255);
    edges[7] = char(127);
    edges[8] = char(0xF0);
    edges[85] = char(72);
    edges.replace(35, 5, QByteArray("AB\0CD", 5));
    const QByteArray avm = sim::defaultCardImage(sim::CardKind::Avm);
    ok &= write(root, "setup_image", "sid-default.bin", sid);
    ok &= write(root, "setup_image", "sid-edges.bin", edges);
    ok &= write(root, "setup_image", "sid-short.bin", sid.left(40));
    ok &= write(root, "setup_image", "avm.bin", avm);

    ok &= write(root, "avm_image", "avm.kxm", avm);
    ok &= write(root, "avm_image", "sid-image.kxm", sid);
    ok &= write(root, "avm_image", "sid-text.kxm", defaults.left(1024));
    ok &= write(root, "avm_image", "one-byte.kxm", QByteArray(1, '\x18'));

    ok &= write(root, "inventory", "facility.ini",
                "# Studio 3\n[Studio 3 A]\nport = /dev/ttyUSB0\nkind = SID\nserial = 4B58343031\ngroups = studio3, night\n"
                "reference = setups/studio3.kxd\nlocation = Rack 3, slot 2\nowner = Ines\n\n; the spare\n[Spare]\n"
                "port = rfc2217://rack3.example.net:7001\nkind = AVM\n");
    ok &= write(root, "inventory", "faults.ini",
                "\xEF\xBB\xBFstray\r\n[A]\r\nport = Com9\r\n[B\r\nport = x\r\n[a]\r\nport = socket://[fe80::1]:70000\r\n"
                "[C]\r\nport = ttyS0\r\nkind = SID\r\nreference = c.kxm\r\nserial = 12\r\nport = y\r\n[D]\r\n"
                "port = z\r\ngroups = ,, a ,b\r\nlocation = caf\xe9\r\n");

    // What ser2net says, and servers that refuse, answer wrongly or loop.
    const QByteArray greeting = QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c");
    const QByteArray answers = answer("64") + QByteArray("ser2net") + answer("6500002580") + answer("6608")
        + answer("6701") + answer("6802") + answer("6901") + answer("7003");
    ok &= write(root, "telnet_client", "ser2net.bin",
                serverTalk({{greeting + QByteArray::fromHex("1616"), 4}, {answers, 4},
                            {QByteArray::fromHex("02ffff10a3ff03"), 1 | 8}, {answer("65000004b0"), 3 | 8},
                            {answer("7003") + QByteArray::fromHex("16"), 0}}));
    ok &= write(root, "telnet_client", "plain-telnet.bin", serverTalk({{QByteArray::fromHex("fffb03fffd00fffb00fffe2c"), 0}}));
    ok &= write(root, "telnet_client", "wrong-speed.bin", serverTalk({{greeting, 4}, {answer("6500004b00"), 0}}));
    ok &= write(root, "telnet_client", "overlong.bin",
                serverTalk({{greeting + QByteArray::fromHex("fffa2c64") + QByteArray(600, 'x') + QByteArray::fromHex("fff0"), 0}}));
    ok &= write(root, "telnet_client", "option-loop.bin", serverTalk({{QByteArray::fromHex("fffb05fffc05").repeated(120), 0}}));
    ok &= write(root, "telnet_client", "not-telnet.bin", serverTalk({{QByteArray("Port already in use\r\n"), 0}}));
    return ok ? 0 : 1;
}
