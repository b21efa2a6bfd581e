// The Get and Send flows of the card connection, and what the card's set-up commands (version
// report, set-up data, flash result) do to them.

#include "cardlinkimpl.h"
#include "tracefile.h"

#include "../setup/setupimage.h"

namespace quillon {

using namespace cardlinkdetail;

// The opening both flows share; false when the flow ends there.
Task<bool> CardLink::Impl::beginFlow(quint64 id)
{
    ui.transferButtonsEnabled(false);
    buttonRestoreTimer->start(ButtonRestoreMs);
    ui.showProgress();
    const quint64 gen = link.generation;
    const bool opened = co_await openConnection();
    if (!opened)
        endFailedOpening(id, gen);
    co_return opened && !superseded(id);
}

Task<void> CardLink::Impl::getFlow(quint64 id)
{
    const bool begun = co_await beginFlow(id);
    if (!begun)
        co_return;
    co_await sendPacket(hostpacket::GetRequest);
    // The transfer completes when the card sends its set-up.
}

Task<void> CardLink::Impl::sendFlow(quint64 id)
{
    const bool begun = co_await beginFlow(id);
    if (!begun)
        co_return;
    // Only this connection's report may let the image go.
    s.versionVerdict = false;
    trace.text("Sent ReqCurSetup Start");
    co_await sendPacket(hostpacket::ReqCurSetup);
    trace.text("Sent ReqCurSetup Stop");
    if (superseded(id))
        co_return;
    co_await jobs.until([this, id] { return s.versionVerdict || superseded(id); }, VersionWaitMs);
    if (superseded(id))
        co_return;
    if (!s.versionVerdict) {
        ui.message(QStringLiteral("Version Packet Not Verified"));
        finishFlow(FlowOutcome::Failed);
        co_return;
    }
    ui.status(2, QStringLiteral("Setup Version Correct"));
    if (!buildSetupImage(held, lastVersionReport, ui)) {
        endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        ui.message(QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
        co_return;
    }
    const quint64 gen = link.generation;
    if (q.onImageSending)
        q.onImageSending();
    const bool imageAcknowledged = co_await sendPacket(held.setupImage);
    if (superseded(id))
        co_return;
    if (imageAcknowledged && q.onProgress)
        q.onProgress(TransferStage::ImageTransferred);
    if (imageAcknowledged && !flashResult && link.generation == gen) {
        // The card writes its flash after acknowledging the image, then reports; the
        // keep-alive goes on meanwhile.
        co_await jobs.until([this, id, gen] {
            return flashResult || link.generation != gen || superseded(id) || !port.portOpen();
        }, FlashReportWaitMs);
        if (superseded(id))
            co_return;
        if (!flashResult && link.generation == gen) {
            endTransfer(EndReason::Completed);
            ui.status(2, QStringLiteral("Card Setup Not Confirmed"));
            ui.message(QStringLiteral("The card did not confirm writing the set-up to its flash memory."));
            finishFlow(FlowOutcome::Failed);
            co_return;
        }
    }
    if (imageAcknowledged && flashResult == 0) {
        progress(TransferStage::ImageTransferred);
        s.snCount = 0;
        keepAliveTimer->stop();
        stopRetransmissionTimer();
        ui.transferButtonsEnabled(true);
        endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Sent"));
        ui.message(QStringLiteral("Card Setup Sent!"));
        finishFlow(FlowOutcome::Succeeded);
    } else {
        if (port.portOpen())
            endTransfer(EndReason::Completed);
        ui.status(2, QStringLiteral("Card Setup Failed"));
        finishFlow(FlowOutcome::Failed);
    }
}

void CardLink::Impl::onVersionReport(quint8 cardVersion)
{
    // Compared with the image about to be sent: a SID build is version 0, an AVM image is sent as held.
    const quint8 imageVersion = held.connectedCardType == CardType::AVM && held.setupImage.size() > 1
        ? byteAt(held.setupImage, 1) : 0;
    if (cardVersion >= imageVersion) {
        s.versionVerdict = true;
        return;
    }
    s.versionVerdict = false;
    endTransfer(EndReason::Completed);
    ui.message(QStringLiteral("Card Setup Newer than Card Firmware, Please Upgrade Card Firmware."));
    ui.status(2, QStringLiteral("Card Setup Failed"));
}

QString CardLink::Impl::imageRefusal(const QByteArray& image) const
{
    if (image.size() == SidImageSize && byteAt(image, 1) == 0)
        return sidImageRefusal(image);
    if (image.size() > SidImageSize && image.size() <= MaxImageSize && byteAt(image, 0) == SetupDataCommand
        && byteAt(image, 1) != 0)
        return {};
    return QStringLiteral("The card sent a set-up of %1 bytes with version %2, which is neither a SID nor an AVM set-up. Nothing was changed.")
        .arg(QString::number(image.size()), QString::number(image.size() > 1 ? byteAt(image, 1) : 0));
}

void CardLink::Impl::onSetupData(const QByteArray& packet)
{
    // The image is the payload from the command byte on, without the two CRC bytes.
    const qsizetype start = s.headerMode ? 3 : 1;
    const qsizetype length = packet.size() - start - (s.checkMode == CheckMode::Bits16 ? 2 : 0);
    const QByteArray image = length > 0 ? packet.mid(start, length) : QByteArray();
    if (const QString why = imageRefusal(image); !why.isEmpty()) {
        endTransfer(EndReason::Completed);
        ui.message(why);
        if (flow.active && flow.kind != FlowKind::Send)
            finishFlow(FlowOutcome::Failed);
        return;
    }
    if (q.onImageReceived)
        q.onImageReceived(image, s.cardSerial);
    if (flow.active && flow.kind == FlowKind::Read) {
        progress(TransferStage::ImageTransferred);
        s.snCount = 0;
        // Ended by its data, not by the end of the connection: told only once that has ended.
        flow.active = false;
        endTransfer(EndReason::Completed);
        flow.active = true;
        finishFlow(FlowOutcome::Succeeded);
        return;
    }
    const QByteArray previousImage = held.setupImage;
    const CardType previousKind = held.loadedCardType;
    held.setupImage = image;
    held.loadedCardType = image.size() > SidImageSize ? CardType::AVM : CardType::SID;
    if (!applySetupImage(held, ui)) {
        held.setupImage = previousImage;
        held.loadedCardType = previousKind;
        endTransfer(EndReason::Completed);
        return;
    }
    progress(TransferStage::ImageTransferred);
    s.snCount = 0;
    keepAliveTimer->stop();
    stopRetransmissionTimer();
    ui.transferButtonsEnabled(true);
    const bool wasGet = flow.active && flow.kind == FlowKind::Get;
    if (wasGet)
        finishFlow(FlowOutcome::Succeeded);
    endTransfer(EndReason::Completed);
    ui.status(2, QStringLiteral("Process Complete"));
    ui.message(QStringLiteral("Card Setup Retrieved"));
}

void CardLink::Impl::onFlashResult(quint8 result)
{
    flashResult = result;
    progress(TransferStage::FlashResult);
    keepAliveTimer->stop();
    ui.hideProgress();
    endTransfer(EndReason::FlashResultReported);
    const QString name = fileName();
    switch (result) {
    case 0: ui.message(name + QStringLiteral(" Transferred.")); break;
    case 1: ui.message(QStringLiteral("Hardware Memory Error. Error 01.")); break;
    case 2: ui.message(QStringLiteral("Error writing ") + name + QStringLiteral(" to flash. Error 02.")); break;
    case 3: ui.message(QStringLiteral("Error Closing ") + name + QStringLiteral(" Error 03.")); break;
    default: break;
    }
    ui.focusMainWindow();
}

// ---------------------------------------------------------------- flows

// The card never identified itself: the flow ends here, and a connection that is not ended yet ends
// as the flow's first send would have ended it, finding the port closed.
void CardLink::Impl::endFailedOpening(quint64 id, quint64 generationAtOpening)
{
    if (superseded(id))
        return;
    if (link.generation == generationAtOpening)
        endTransfer(EndReason::PortClosed);
    finishFlow(FlowOutcome::Failed);
}

quint64 CardLink::Impl::startFlow(FlowKind kind)
{
    if (flow.active)
        finishFlow(FlowOutcome::Failed);
    // A second press ends the running connection first; so does an open port, or a packet of
    // an ended connection that still counts as outstanding. A fresh start ends nothing.
    if (s.cardIdentified)
        endTransfer(EndReason::Completed);
    if (port.portOpen() || (!s.ackReceived && !s.savedPacket.isEmpty()))
        endTransfer(EndReason::Completed);
    jobs.clear();
    flow = Flow{kind, ++flowCounter, true};
    flashResult.reset();
    return flow.id;
}

void CardLink::Impl::finishFlow(FlowOutcome outcome)
{
    if (!flow.active)
        return;
    flow.active = false;
    if (q.onFlowFinished)
        q.onFlowFinished(flow.kind, outcome);
}

} // namespace quillon
