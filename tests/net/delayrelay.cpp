// SPDX-License-Identifier: GPL-3.0-or-later
// A network with a delay, for measuring: relays 127.0.0.1:LISTEN (0: any free port) to
// 127.0.0.1:TARGET, each direction DELAY_MS later, in order. Prints the port it listens on, and
// after each client the mean delay a chunk really had so far.
// Usage: net-delay-relay TARGET DELAY_MS [LISTEN]

#include "netfixture.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool targetOk = false, delayOk = false;
    const int target = args.value(1).toInt(&targetOk);
    const int delay = args.value(2).toInt(&delayOk);
    if (!targetOk || !delayOk || target <= 0 || target > 65535 || delay < 0) {
        std::fprintf(stderr, "usage: net-delay-relay TARGET DELAY_MS [LISTEN]\n");
        return 2;
    }
    nettest::DelayRelay relay(quint16(target), delay, quint16(args.value(3).toUInt()));
    if (relay.port() == 0) {
        std::fprintf(stderr, "net-delay-relay: cannot listen\n");
        return 1;
    }
    std::printf("%u\n", unsigned(relay.port()));
    std::fflush(stdout);
    relay.onClientGone = [&relay] {
        std::printf("mean delay %.2f ms\n", relay.meanDelayMs());
        std::fflush(stdout);
    };
    return app.exec();
}
