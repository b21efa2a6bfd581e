// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#if defined(Q_OS_WIN)
#include <QMetaObject>
#include <QThread>
#include <csignal>
#include <mutex>
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quillon {

#if defined(Q_OS_UNIX)

namespace {

constexpr int Stoppers[] = {SIGTERM, SIGINT};
int signalSockets[2] = {-1, -1};

void onSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(signalSockets[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

struct StopSignals::Saved {
    struct sigaction actions[std::size(Stoppers)]{};
};

StopSignals::StopSignals(std::function<void(int)> onStop)
    : onStop_(std::move(onStop)), saved_(std::make_unique<Saved>())
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return; // the signals keep their default: the program ends at once
    // A burst of signals must never block the handler.
    ::fcntl(signalSockets[1], F_SETFL, ::fcntl(signalSockets[1], F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(signalSockets[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readSignal(); });
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(Stoppers); ++i)
        ::sigaction(Stoppers[i], &action, &saved_->actions[i]);
}

StopSignals::~StopSignals()
{
    if (!notifier_)
        return;
    for (std::size_t i = 0; i < std::size(Stoppers); ++i)
        ::sigaction(Stoppers[i], &saved_->actions[i], nullptr);
    notifier_.reset();
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void StopSignals::readSignal()
{
    char byte = 0;
    if (::read(signalSockets[0], &byte, 1) == 1 && onStop_)
        onStop_(static_cast<unsigned char>(byte));
}

#elif defined(Q_OS_WIN)

// The console's Ctrl+C (as SIGINT) and Ctrl+Break or its window closing (as SIGTERM). Windows
// calls the handler on a thread of its own: it only posts the stop to the event loop.
struct StopSignals::Saved {
    QObject receiver; // on the thread that made the object
    std::function<void(int)> post;
};

namespace {

std::mutex activeMutex;
const std::function<void(int)>* activePost = nullptr; // the one object's, while it lives

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int signal = event == CTRL_C_EVENT ? SIGINT
                       : event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ? SIGTERM : 0;
    {
        const std::lock_guard lock(activeMutex);
        if (!activePost || signal == 0)
            return FALSE; // Windows' default: the program ends
        (*activePost)(signal);
    }
    // A closing console ends the process once this returns: give the event loop the time
    // Windows allows (5 s) to close the port and save; the program ends before that.
    if (event == CTRL_CLOSE_EVENT)
        QThread::msleep(4500);
    return TRUE;
}

} // namespace

StopSignals::StopSignals(std::function<void(int)> onStop)
    : onStop_(std::move(onStop)), saved_(std::make_unique<Saved>())
{
    saved_->post = [this](int signal) {
        QMetaObject::invokeMethod(&saved_->receiver, [this, signal] {
            if (onStop_)
                onStop_(signal);
        }, Qt::QueuedConnection);
    };
    {
        const std::lock_guard lock(activeMutex);
        activePost = &saved_->post;
    }
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    const std::lock_guard lock(activeMutex);
    activePost = nullptr;
}

void StopSignals::readSignal() {}

#else

struct StopSignals::Saved {};

StopSignals::StopSignals(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {}
StopSignals::~StopSignals() = default;
void StopSignals::readSignal() {}

#endif

} // namespace quillon
