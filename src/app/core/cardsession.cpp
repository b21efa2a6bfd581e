// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardsession.h"

#include "settingsstore.h"

#include "../../link/qtlinkclock.h"

namespace quillon {

CardSession::CardSession(SerialControl& port, PortSelection& ports, HeldSetup& held, OperatorUi& ui,
                         const SettingsStore& settings, LinkClock* clock)
    : settings_(settings), ownClock_(clock ? nullptr : std::make_unique<QtLinkClock>()),
      clock_(clock ? *clock : *ownClock_), trace_(settings.tracePath()), frameLog_(clock_), statistics_(clock_),
      link_(port, clock_, ports, trace_), presenter_(link_, ui, clock_), operation_(link_, clock_, held, ui)
{
    link_.addObserver(&frameLog_);
    link_.addObserver(&statistics_);
    statistics_.onChanged = [this] { Q_EMIT countersChanged(); };
    statistics_.onConnectionEnded = [this](const LinkCounters& counters) { Q_EMIT connectionEnded(counters); };
    presenter_.logNote = [this](const QString& text) { frameLog_.note(text); };
    connect(&operation_, &CardOperation::connectionStarting, this, [this](const QString& what, bool first) {
        if (first) {
            frameLog_.beginOperation();
            statistics_.startTotals();
        }
        frameLog_.setConnectionTitle(what);
    });
    connect(&operation_, &CardOperation::finished, this, [this] { frameLog_.endOperation(); });
}

CardSession::~CardSession()
{
    statistics_.onChanged = nullptr;
    statistics_.onConnectionEnded = nullptr;
}

OperationOptions CardSession::options(bool send) const
{
    const SettingsStore& s = settings_;
    OperationOptions options;
    options.backup = !send || s.backupBeforeSend();
    options.verify = send && s.verifyAfterSend();
    options.backupFolder = s.backupFolder();
    options.keepDays = s.backupKeepDays();
    return options;
}

void CardSession::get() { operation_.get(options(false)); }
void CardSession::send() { operation_.send(options(true)); }

void CardSession::compare()
{
    OperationOptions o = options(false);
    o.backup = false;
    operation_.compare(o);
}

void CardSession::cancel()
{
    if (operation_.running())
        operation_.cancel();
    else
        link_.cancel();
}

void CardSession::shutdown()
{
    operation_.abandon();
    link_.shutdown();
    presenter_.stop();
}

void CardSession::openPort()
{
    frameLog_.endOperation();
    frameLog_.setConnectionTitle(QStringLiteral("Open Port"));
    statistics_.startTotals();
    link_.openPort();
}

bool CardSession::busy() const { return link_.flowRunning() || link_.portOpen(); }

void CardSession::setFrameLogging(bool on)
{
    frameLog_.setPath(on ? FrameLog::pathNextTo(trace_.path()) : QString());
}

} // namespace quillon
