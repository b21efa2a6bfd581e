// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkpresenter.h"

#include "../../link/cardlink.h"
#include "../../setup/numbers.h"

#include <algorithm>

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
            return QStringLiteral("The card's port on the serial server could not be opened: %1.").arg(networkSummary(f));
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

// The port a failure happened on, as the operator knows it: "Com1 (/dev/ttyS0)".
QString portName(const LinkFailure& f)
{
    const QString com = QStringLiteral("Com") + QString::number(f.port);
    return f.device.isEmpty() ? com : QStringLiteral("%1 (%2)").arg(com, f.device);
}

// A card that never answered: powered off, the wrong cable or the wrong port, the commonest
// failure in the field. What arrived, and what to check.
QString silentCardDetails(const LinkFailure& f)
{
    const QString seconds = QString::number(std::max(f.waitedMs, 0) / 1000);
    const QString heard = f.bytesHeard > 0
        ? QStringLiteral("Only noise was received from the card on %1 in %2 s (%3 bytes that set up no link).")
              .arg(portName(f), seconds, QString::number(f.bytesHeard))
        : QStringLiteral("Nothing was received from the card on %1 in %2 s.").arg(portName(f), seconds);
    return heard + QLatin1Char('\n')
        + QStringLiteral("Check that the card is powered on, that it is connected with a null-modem cable, and "
                         "that the cable is on the port the card is on: Options > Port Assignment... shows what "
                         "Com1 to Com4 stand for, and the Options menu chooses one.");
}

// How grave a link failure is for the operator: every one ends the transfer.
constexpr MessageSeverity FailureSeverity = MessageSeverity::Critical;

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
        say(QStringLiteral("The serial server answers slowly: a round trip of %1 ms, above the %2 ms up to which "
                           "transfers run clean. The card may send frames again; the transfer goes on.")
                .arg(QString::number(qRound(roundTripMs)), QString::number(qRound(limitMs))),
            MessageSeverity::Warning,
            QStringLiteral("Next step: reach the server over a faster network path (a wired link, a server nearer "
                           "to the card, no VPN) if transfers fail."));
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
    connect(&link, &CardLink::closedByHand, this, [this] { say(QStringLiteral("Port Closed"), MessageSeverity::Information); });
}

LinkPresenter::~LinkPresenter() = default;

void LinkPresenter::stop() { buttonRestore_->stop(); }

// Every message of the link goes through here, with how grave it is: the operator's side holds
// an operation's messages and shows them together once it has ended.
void LinkPresenter::say(const QString& text, MessageSeverity severity, const QString& details)
{
    ui_.tell(text, severity, details);
}

void LinkPresenter::failed(const LinkFailure& failure)
{
    const QString text = failureText(failure);
    QString details;
    switch (failure.kind) {
    case LinkFailure::PortNotUsable:
    case LinkFailure::PortNotOpened:
        details = failure.findings;
        break;
    case LinkFailure::CardSilent:
        details = silentCardDetails(failure);
        break;
    case LinkFailure::PortVanished:
        if (failure.network)
            details = failure.findings;
        break;
    case LinkFailure::LineSpeedFixed:
        details = failure.refusal;
        break;
    default:
        break;
    }
    say(text, FailureSeverity, details);
    // The frame log tells the maintainer what the operator was told, not only the end's number.
    if (logNote) {
        logNote(text);
        if (!details.isEmpty())
            logNote(details);
    }
    if (failure.kind == LinkFailure::CardVersionTooOld)
        ui_.status(2, QStringLiteral("Card Setup Failed"));
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
    constexpr MessageSeverity bad = MessageSeverity::Critical;
    switch (result) {
    case 0: say(name + QStringLiteral(" Transferred."), MessageSeverity::Information); break;
    case 1: say(QStringLiteral("Hardware Memory Error. Error 01."), bad); break;
    case 2: say(QStringLiteral("Error writing ") + name + QStringLiteral(" to flash. Error 02."), bad); break;
    case 3: say(QStringLiteral("Error Closing ") + name + QStringLiteral(" Error 03."), bad); break;
    default: break;
    }
    ui_.focusMainWindow();
}

void LinkPresenter::flowEnded(const FlowResult& result)
{
    const QString failed = QStringLiteral("Card Setup Failed");
    if (result.kind == FlowKind::Get && result.end == FlowEnd::Done) {
        ui_.status(2, QStringLiteral("Process Complete"));
        say(QStringLiteral("Card Setup Retrieved"), MessageSeverity::Information);
    }
    if (result.kind != FlowKind::Send)
        return;
    switch (result.end) {
    case FlowEnd::Done:
        ui_.status(2, QStringLiteral("Card Setup Sent"));
        say(QStringLiteral("Card Setup Sent!"), MessageSeverity::Information);
        break;
    case FlowEnd::ImageRefused:
        ui_.status(2, failed);
        say(failed, MessageSeverity::Critical);
        break;
    case FlowEnd::VersionNotVerified:
        say(QStringLiteral("Version Packet Not Verified"), MessageSeverity::Critical);
        break;
    case FlowEnd::NotConfirmed:
        ui_.status(2, QStringLiteral("Card Setup Not Confirmed"));
        say(QStringLiteral("The card did not confirm writing the set-up to its flash memory."), MessageSeverity::Critical);
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
