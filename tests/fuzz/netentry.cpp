// SPDX-License-Identifier: GPL-3.0-or-later
// The client side of Telnet and RFC 2217 hearing a serial server that may be anything.

#include "fuzzentries.h"

#include "link/rfc2217session.h"

#include <cstdio>
#include <cstdlib>

namespace quillon::fuzz {

namespace {

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "telnet client: %s\n", what);
    std::abort();
}

// What one chunk of the server's may cause at most: a few answers per byte, and the line's
// settings and a purge once.
constexpr qsizetype AnswerBudget = 512;

} // namespace

int telnetClient(const std::uint8_t* data, std::size_t size)
{
    Rfc2217Session session({9600, 'n', 8, 2});
    double nowMs = 0;
    session.start(nowMs);
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 2);
        const quint8 action = data[at + 1];
        at += 2;
        const QByteArrayView chunk(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length;
        nowMs += action >> 2;

        const Rfc2217Session::State before = session.state();
        QByteArray line;
        QByteArray toServer;
        session.receive(chunk, nowMs, line, toServer);
        if (line.size() > chunk.size())
            violated("more line data than the server sent");
        if (toServer.size() > 3 * chunk.size() + AnswerBudget)
            violated("answers out of proportion to what the server sent");
        if (before == Rfc2217Session::State::Failed && (!line.isEmpty() || !toServer.isEmpty()))
            violated("a failed session went on");
        if (session.state() != Rfc2217Session::State::Ready && !line.isEmpty())
            violated("line data before the session was ready");
        if (session.staleData().size() > 80 || session.answerTimesMs().size() > 64 || session.signature().size() > 80)
            violated("what the session keeps grew without bound");
        if (session.state() == Rfc2217Session::State::Failed && !session.failure())
            violated("a failure without a reason");

        // The link's own requests, as it makes them: the switch to 1200 baud, back, a Cancel.
        switch (action & 3) {
        case 1: (void)session.setLine({1200, 'n', 8, 2}, nowMs); break;
        case 2: (void)session.setLine({9600, 'n', 8, 2}, nowMs); break;
        case 3: (void)session.purge(nowMs); break;
        default: break;
        }
    }
    return 0;
}

} // namespace quillon::fuzz
