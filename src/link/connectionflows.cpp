// SPDX-License-Identifier: GPL-3.0-or-later
// The Get, Read and Send flows of the card connection, and what the card's set-up commands
// (version report, set-up data, flash result) do to them.

#include "cardlinkimpl.h"
#include "tracefile.h"

#include "../setup/setupimage.h"

namespace quillon {

using namespace cardlinkdetail;

// The opening every flow shares; false when the flow ends there.
Task<bool> CardLink::Impl::beginFlow()
{
    Q_EMIT q.flowStarted(flow.kind);
    const bool opened = co_await openConnection();
    // The card never identified itself: the flow ends here, and a connection that is not ended
    // yet ends as the flow's first send would have ended it, finding the port closed.
    if (!opened && !ended()) {
        if (!lastEnd)
            endTransfer(EndReason::PortClosed);
        finishFlow(FlowOutcome::Failed, FlowEnd::ConnectionEnded);
    }
    co_return opened && !ended();
}

Task<void> CardLink::Impl::getFlow()
{
    const bool begun = co_await beginFlow();
    if (!begun)
        co_return;
    co_await sendPacket(hostpacket::GetRequest);
    // The transfer completes when the card sends its set-up.
}

Task<void> CardLink::Impl::sendFlow()
{
    const bool begun = co_await beginFlow();
    if (!begun)
        co_return;
    // Only this connection's report may let the image go.
    s.versionVerdict = false;
    trace.text("Sent ReqCurSetup Start");
    co_await sendPacket(hostpacket::ReqCurSetup);
    trace.text("Sent ReqCurSetup Stop");
    if (ended())
        co_return;
    co_await jobs.until([this] { return s.versionVerdict || ended(); }, VersionWaitMs);
    if (ended())
        co_return;
    if (!s.versionVerdict) {
        finishFlow(FlowOutcome::Failed, FlowEnd::VersionNotVerified);
        co_return;
    }
    Q_EMIT q.versionAccepted();
    if (ended()) // a listener may have started something else meanwhile
        co_return;
    const std::optional<QByteArray> image = flow.source.image ? flow.source.image(lastVersionReport) : std::nullopt;
    if (!image) {
        endTransfer(EndReason::Completed);
        finishFlow(FlowOutcome::Failed, FlowEnd::ImageRefused);
        co_return;
    }
    const ConnectionToken::Held token = link.token.take();
    const ConnectionToken::Held* held = &token; // (only plain values in lambdas inside co_await: GCC 12)
    Q_EMIT q.imageSending();
    const bool imageAcknowledged = co_await sendPacket(*image);
    if (ended())
        co_return;
    if (imageAcknowledged)
        Q_EMIT q.imageAcknowledged();
    if (imageAcknowledged && !flashResult && !ConnectionToken::stale(token)) {
        // The card writes its flash after acknowledging the image, then reports; the
        // keep-alive goes on meanwhile.
        co_await jobs.until([this, held] {
            return flashResult || ConnectionToken::stale(*held) || ended() || !port.portOpen();
        }, FlashReportWaitMs);
        if (ended())
            co_return;
        if (!flashResult && !ConnectionToken::stale(token)) {
            endTransfer(EndReason::Completed);
            finishFlow(FlowOutcome::Failed, FlowEnd::NotConfirmed);
            co_return;
        }
    }
    if (imageAcknowledged && flashResult == 0) {
        Q_EMIT q.stageReached(TransferStage::ImageTransferred);
        s.ticksSinceSerial = 0;
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        endTransfer(EndReason::Completed);
        finishFlow(FlowOutcome::Succeeded, FlowEnd::Done);
    } else {
        if (port.portOpen())
            endTransfer(EndReason::Completed);
        finishFlow(FlowOutcome::Failed, FlowEnd::NotDelivered);
    }
}

void CardLink::Impl::onVersionReport(quint8 cardVersion)
{
    // Compared with the set-up about to be sent.
    const quint8 setupVersion = flow.active && flow.source.setupVersion ? flow.source.setupVersion() : 0;
    if (cardVersion >= setupVersion) {
        s.versionVerdict = true;
        return;
    }
    s.versionVerdict = false;
    endTransfer(EndReason::Completed);
    LinkFailure failure = failureOn(LinkFailure::CardVersionTooOld, port.commPort());
    failure.cardVersion = cardVersion;
    failure.setupVersion = setupVersion;
    fail(failure);
}

std::optional<LinkFailure> CardLink::Impl::imageRefusal(const QByteArray& image) const
{
    LinkFailure failure = failureOn(LinkFailure::ImageInvalid, port.commPort());
    failure.imageSize = image.size();
    failure.imageVersion = image.size() > 1 ? byteAt(image, 1) : 0;
    if (image.size() == SidImageSize && byteAt(image, 1) == 0) {
        failure.refusal = sidImageRefusal(image);
        return failure.refusal.isEmpty() ? std::nullopt : std::optional(failure);
    }
    if (image.size() > SidImageSize && image.size() <= MaxImageSize && byteAt(image, 0) == SetupDataCommand
        && byteAt(image, 1) != 0)
        return std::nullopt;
    return failure;
}

void CardLink::Impl::onSetupData(const QByteArray& packet)
{
    // A Send's connection takes no set-up from the card: the one being sent stays.
    if (flow.active && flow.kind == FlowKind::Send)
        return;
    // The image is the payload from the command byte on, without the two CRC bytes.
    const qsizetype start = s.headerMode ? 3 : 1;
    const qsizetype length = packet.size() - start - (s.checkMode == CheckMode::Bits16 ? 2 : 0);
    const QByteArray image = length > 0 ? packet.mid(start, length) : QByteArray();
    if (const std::optional<LinkFailure> refused = imageRefusal(image)) {
        endTransfer(EndReason::Completed);
        fail(*refused);
        if (flow.active)
            finishFlow(FlowOutcome::Failed, FlowEnd::ConnectionEnded);
        return;
    }
    Q_EMIT q.imageReceived(image, s.cardSerial);
    Q_EMIT q.stageReached(TransferStage::ImageTransferred);
    s.ticksSinceSerial = 0;
    keepAliveTimer->stop();
    stopRetransmissionTimer();
    // Ended by its data, not by the end of the connection: told only once that has ended.
    const FlowKind kind = flow.active ? flow.kind : FlowKind::Get;
    const bool active = std::exchange(flow.active, false);
    endTransfer(EndReason::Completed);
    flow.active = active;
    flow.kind = kind;
    lastEnd = EndReason::Completed;
    if (!active) {
        Q_EMIT q.flowEnded({FlowKind::Get, FlowOutcome::Succeeded, FlowEnd::Done, lastEnd, std::nullopt});
        return;
    }
    finishFlow(FlowOutcome::Succeeded, FlowEnd::Done);
}

void CardLink::Impl::onFlashResult(quint8 result)
{
    flashResult = result;
    Q_EMIT q.stageReached(TransferStage::FlashResult);
    keepAliveTimer->stop();
    endTransfer(EndReason::FlashResultReported);
    Q_EMIT q.flashReported(result);
}

// ---------------------------------------------------------------- flows

void CardLink::Impl::startFlow(FlowKind kind)
{
    if (flow.active)
        finishFlow(FlowOutcome::Failed, FlowEnd::ConnectionEnded);
    // A second press ends the running connection first; so does an open port, or a packet of
    // an ended connection that still counts as outstanding. A fresh start ends nothing.
    if (s.cardIdentified)
        endTransfer(EndReason::Completed);
    if (port.portOpen() || (!s.ackReceived && !s.savedPacket.isEmpty()))
        endTransfer(EndReason::Completed);
    jobs.clear();
    flow = Flow{kind, true, {}};
    flashResult.reset();
    lastEnd.reset();
}

void CardLink::Impl::finishFlow(FlowOutcome outcome, FlowEnd end)
{
    if (!flow.active)
        return;
    flow.active = false;
    Q_EMIT q.flowEnded({flow.kind, outcome, end, lastEnd, flashResult});
}

} // namespace quillon
