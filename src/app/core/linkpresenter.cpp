// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkpresenter.h"

#include "../../link/cardlink.h"
#include "../../setup/numbers.h"

namespace quillon {

namespace {

constexpr int ButtonRestoreMs = 20000;

QString checkModeText(CheckMode mode)
{
    switch (mode) {
    case CheckMode::Bits8: return QStringLiteral("8bit");
    case CheckMode::Bits16: return QStringLiteral("16bit");
    case CheckMode::None: break;
    }
    return QStringLiteral("None");
}

// A serial server's failure, naming the port on it.
QString networkSummary(const LinkFailure& f)
{
    return f.device.isEmpty() ? f.portError : netFailureSummary(f.network, f.device);
}

// What went wrong, in the operator's words.
QString failureText(const LinkFailure& f)
{
    switch (f.kind) {
    case LinkFailure::PortNotUsable: return QStringLiteral("Current com port selection is not valid");
    case LinkFailure::PortNotOpened:
        if (f.network)
            return QStringLiteral("The card's port on the serial server could not be opened: %1.")
                .arg(networkSummary(f));
        return f.portError.isEmpty() ? QStringLiteral("Com%1 could not be opened.").arg(f.port)
                                     : QStringLiteral("The serial port could not be opened: ") + f.portError;
    case LinkFailure::PortGone: return QStringLiteral("Port not functioning, please try another port #1");
    case LinkFailure::CardSilent: return QStringLiteral("Port not functioning, please try another port #2");
    case LinkFailure::PortVanished:
        if (f.network)
            return QStringLiteral("The transfer stopped: %1.").arg(networkSummary(f));
        return f.portError.isEmpty()
            ? QStringLiteral("The serial port closed during the transfer. Please check the connection to the card.")
            : QStringLiteral("The serial port closed during the transfer (%1). Please check the connection to the card.")
                  .arg(f.portError);
    case LinkFailure::CardNotIdentified: return QStringLiteral("Error establishing communications, Please check connections");
    case LinkFailure::RetransmissionFailed: return QStringLiteral("Error in communications, Retransmission failed.");
    case LinkFailure::WriteTimeout: return QStringLiteral("CTS Timeout Transfer aborted");
    case LinkFailure::UnknownDevice: return QStringLiteral("Unknown Device, Check Communications");
    case LinkFailure::CardVersionTooOld: return QStringLiteral("Card Setup Newer than Card Firmware, Please Upgrade Card Firmware.");
    case LinkFailure::ImageInvalid:
        if (!f.refusal.isEmpty())
            return f.refusal;
        return QStringLiteral("The card sent a set-up of %1 bytes with version %2, which is neither a SID nor an AVM set-up. Nothing was changed.")
            .arg(QString::number(f.imageSize), QString::number(f.imageVersion));
    case LinkFailure::LineSpeedFixed:
        return QStringLiteral("An AVM card was found, but the speed of its line cannot be changed through this port: "
                              "the connection was ended before the transfer.");
    }
    return {};
}

} // namespace

LinkPresenter::LinkPresenter(CardLink& link, OperatorUi& ui, LinkClock& clock)
    : link_(link), ui_(ui), buttonRestore_(clock.createTimer())
{
    buttonRestore_->onTimeout = [this] { ui_.transferButtonsEnabled(true); };
    connect(&link, &CardLink::flowStarted, this, [this] {
        ui_.transferButtonsEnabled(false);
        buttonRestore_->start(ButtonRestoreMs);
        ui_.showProgress();
    });
    // No card is known on a port until one identifies itself there.
    connect(&link, &CardLink::portOpening, this, [this] { ui_.status(3, QString()); });
    connect(&link, &CardLink::roundTripAboveLimit, this, [this](const QString& device, double roundTripMs, double limitMs) {
        if (slowServers_.contains(device))
            return;
        slowServers_ << device;
        sayWithDetails(QStringLiteral("The serial server answers slowly: a round trip of %1 ms, above the %2 ms up to "
                                      "which transfers run clean. The card may send frames again; the transfer goes on.")
                           .arg(QString::number(qRound(roundTripMs)), QString::number(qRound(limitMs))),
                       QStringLiteral("Next step: reach the server over a faster network path (a wired link, a server "
                                      "nearer to the card, no VPN) if transfers fail."));
    });
    connect(&link, &CardLink::stageReached, this, &LinkPresenter::stageReached);
    connect(&link, &CardLink::serialNumberReceived, this, [this] { ui_.status(2, QStringLiteral("Serial Number Received")); });
    connect(&link, &CardLink::cardIdentified, this, [this](const CardIdentity& card) {
        if (card.kind)
            ui_.status(3, card.kind == CardType::AVM ? QStringLiteral("AVM Card Detected") : QStringLiteral("SID Card Detected"));
    });
    connect(&link, &CardLink::framing, this, [this](CheckMode check, bool header, bool dataSeen) {
        ui_.diagnosticLabel(0, checkModeText(check));
        ui_.diagnosticLabel(1, header ? QStringLiteral("True") : QStringLiteral("False"));
        ui_.diagnosticLabel(2, dataSeen ? QStringLiteral("Data") : QString());
    });
    connect(&link, &CardLink::keepAliveTicked, this, [this](int ticks, int unanswered) {
        ui_.status(2, QStringLiteral("SN Count ") + QString::number(ticks) + QLatin1Char(' ') + statusNumber(unanswered));
    });
    connect(&link, &CardLink::retransmitting, this, [this](int retries) { ui_.status(2, QStringLiteral("Resend ") + statusNumber(retries)); });
    connect(&link, &CardLink::versionAccepted, this, [this] { ui_.status(2, QStringLiteral("Setup Version Correct")); });
    connect(&link, &CardLink::connectionEnded, this, &LinkPresenter::connectionEnded);
    connect(&link, &CardLink::failed, this, &LinkPresenter::failed);
    connect(&link, &CardLink::flashReported, this, &LinkPresenter::flashReported);
    connect(&link, &CardLink::flowEnded, this, &LinkPresenter::flowEnded);
    connect(&link, &CardLink::closedByHand, this, [this] { say(QStringLiteral("Port Closed")); });
}

LinkPresenter::~LinkPresenter() = default;

void LinkPresenter::stop() { buttonRestore_->stop(); }

// Every message of the link goes through these two: the one place where an operation's messages
// could be collected, each with how bad it is, and shown together at its end.
void LinkPresenter::say(const QString& text) { ui_.message(text); }

void LinkPresenter::sayWithDetails(const QString& text, const QString& details) { ui_.messageWithDetails(text, details); }

void LinkPresenter::failed(const LinkFailure& failure)
{
    const QString text = failureText(failure);
    switch (failure.kind) {
    case LinkFailure::PortNotUsable:
    case LinkFailure::PortNotOpened:
        sayWithDetails(text, failure.findings);
        return;
    case LinkFailure::PortVanished:
        if (failure.network)
            sayWithDetails(text, failure.findings);
        else
            say(text);
        return;
    case LinkFailure::LineSpeedFixed:
        sayWithDetails(text, failure.refusal);
        return;
    case LinkFailure::CardVersionTooOld:
        say(text);
        ui_.status(2, QStringLiteral("Card Setup Failed"));
        return;
    default:
        say(text);
        return;
    }
}

void LinkPresenter::stageReached(TransferStage stage)
{
    ui_.progress(stage);
    // The transfer is done once its image is in or written: Get and Send give the buttons back
    // now; a Read's do not come back before its operation ends.
    if (stage == TransferStage::ImageTransferred && link_.runningFlow() != FlowKind::Read)
        ui_.transferButtonsEnabled(true);
    if (stage == TransferStage::FlashResult)
        ui_.hideProgress();
}

void LinkPresenter::connectionEnded(EndReason reason)
{
    ui_.transferButtonsEnabled(true);
    ui_.hideProgress();
    ui_.status(2, QStringLiteral("Port Closed") + statusNumber(reasonCode(reason)));
}

void LinkPresenter::flashReported(quint8 result)
{
    const QString name = fileName ? fileName() : QStringLiteral("Unsaved");
    switch (result) {
    case 0: say(name + QStringLiteral(" Transferred.")); break;
    case 1: say(QStringLiteral("Hardware Memory Error. Error 01.")); break;
    case 2: say(QStringLiteral("Error writing ") + name + QStringLiteral(" to flash. Error 02.")); break;
    case 3: say(QStringLiteral("Error Closing ") + name + QStringLiteral(" Error 03.")); break;
    default: break;
    }
    ui_.focusMainWindow();
}

void LinkPresenter::flowEnded(const FlowResult& result)
{
    const QString failed = QStringLiteral("Card Setup Failed");
    if (result.kind == FlowKind::Get && result.end == FlowEnd::Done) {
        ui_.status(2, QStringLiteral("Process Complete"));
        say(QStringLiteral("Card Setup Retrieved"));
    }
    if (result.kind != FlowKind::Send)
        return;
    switch (result.end) {
    case FlowEnd::Done:
        ui_.status(2, QStringLiteral("Card Setup Sent"));
        say(QStringLiteral("Card Setup Sent!"));
        break;
    case FlowEnd::ImageRefused:
        ui_.status(2, failed);
        say(failed);
        break;
    case FlowEnd::VersionNotVerified:
        say(QStringLiteral("Version Packet Not Verified"));
        break;
    case FlowEnd::NotConfirmed:
        ui_.status(2, QStringLiteral("Card Setup Not Confirmed"));
        say(QStringLiteral("The card did not confirm writing the set-up to its flash memory."));
        break;
    case FlowEnd::NotDelivered:
        ui_.status(2, failed);
        break;
    case FlowEnd::Cancelled:
    case FlowEnd::ConnectionEnded:
        break;
    }
}

} // namespace quillon
