#include "cardsession.h"

#include "linkpresenter.h"
#include "settingsstore.h"

#include "../../link/cardlink.h"
#include "../../link/framelog.h"
#include "../../link/qtlinkclock.h"
#include "../../link/tracefile.h"

namespace quillon {

struct CardSession::Impl {
    Impl(SerialControl& port, PortSelection& ports, HeldSetup& held, OperatorUi& ui, const SettingsStore& store,
         LinkClock* givenClock)
        : settings(store), ownClock(givenClock ? nullptr : std::make_unique<QtLinkClock>()),
          clock(givenClock ? *givenClock : *ownClock), trace(store.tracePath()), frameLog(clock),
          statistics(clock), link(port, clock, ports, trace), presenter(link, ui, clock),
          operation(link, clock, held, ui)
    {
        link.addObserver(&frameLog);
        link.addObserver(&statistics);
    }

    const SettingsStore& settings;
    std::unique_ptr<LinkClock> ownClock;
    LinkClock& clock;
    TraceFile trace;
    FrameLog frameLog;
    LinkStatistics statistics;
    CardLink link;
    // The presenter listens to the link before the operation does: what the operator is told of
    // a connection comes before the operation's next step.
    LinkPresenter presenter;
    CardOperation operation;
};

CardSession::CardSession(SerialControl& port, PortSelection& ports, HeldSetup& held, OperatorUi& ui,
                         const SettingsStore& settings, LinkClock* clock)
    : d(std::make_unique<Impl>(port, ports, held, ui, settings, clock))
{
    d->statistics.onChanged = [this] { Q_EMIT countersChanged(); };
    d->statistics.onConnectionEnded = [this](const LinkCounters& counters) { Q_EMIT connectionEnded(counters); };
}

CardSession::~CardSession()
{
    d->statistics.onChanged = nullptr;
    d->statistics.onConnectionEnded = nullptr;
}

OperationOptions CardSession::options(bool send) const
{
    const SettingsStore& s = d->settings;
    OperationOptions options;
    options.backup = !send || s.backupBeforeSend();
    options.verify = send && s.verifyAfterSend();
    options.backupFolder = s.backupFolder();
    options.keepDays = s.backupKeepDays();
    return options;
}

void CardSession::get() { d->operation.get(options(false)); }
void CardSession::send() { d->operation.send(options(true)); }

void CardSession::compare()
{
    OperationOptions o = options(false);
    o.backup = false;
    d->operation.compare(o);
}

void CardSession::cancel()
{
    if (d->operation.running())
        d->operation.cancel();
    else
        d->link.cancel();
}

void CardSession::shutdown()
{
    d->operation.abandon();
    d->link.shutdown();
    d->presenter.stop();
}

bool CardSession::busy() const { return d->link.flowRunning() || d->link.portOpen(); }

void CardSession::setFrameLogging(bool on)
{
    d->frameLog.setPath(on ? FrameLog::pathNextTo(d->trace.path()) : QString());
}

LinkClock& CardSession::clock() { return d->clock; }
CardLink& CardSession::link() { return d->link; }
CardOperation& CardSession::operation() { return d->operation; }
LinkPresenter& CardSession::presenter() { return d->presenter; }
TraceFile& CardSession::trace() { return d->trace; }
FrameLog& CardSession::frameLog() { return d->frameLog; }
const LinkCounters& CardSession::counters() const { return d->statistics.counters(); }

} // namespace quillon
