// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardoperation.h"

#include "backups.h"
#include "readback.h"

#include "operatorui.h"

#include "../../link/cardlink.h"
#include "../../link/linkclock.h"
#include "../../setup/heldsetup.h"
#include "../../setup/setupimage.h"

#include <QDir>

namespace quillon {

QString operationStageText(OperationStage stage, bool send)
{
    switch (stage) {
    case OperationStage::ReadingCard:
        return send ? QStringLiteral("Reading the card (backup)") : QStringLiteral("Reading the card's set-up");
    case OperationStage::Connecting: return QStringLiteral("Connecting");
    case OperationStage::Identifying: return QStringLiteral("Identifying the card");
    case OperationStage::Sending: return QStringLiteral("Sending the set-up");
    case OperationStage::WritingToFlash: return QStringLiteral("Writing to flash");
    case OperationStage::Verifying: return QStringLiteral("Verifying");
    }
    return {};
}

namespace {

CardType kindOfImage(const QByteArray& image) { return image.size() > SidImageSize ? CardType::AVM : CardType::SID; }

QString withArticle(CardType kind) { return kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"); }

} // namespace

struct CardOperation::Impl {
    // Which connection of the operation is running.
    enum class Step { Idle, Get, Backup, Send, Verify, Compare };

    CardLink& link;
    HeldSetup& held;
    OperatorUi& ui;
    CardOperation& q;
    std::unique_ptr<LinkTimer> next; // starts the next connection once the previous has ended
    OperationOptions options;
    Step step = Step::Idle;
    bool sending = false; // a Send operation, not a Get
    QByteArray received;  // the image of the last Read
    QByteArray sentImage;
    QString backupPath;
    QString backupError;
    std::function<void()> nextConnection;
    bool imageSending = false;   // the image has been written to the port
    bool imageDelivered = false; // the card has acknowledged it
    bool sent = false;           // and written it to its flash
    bool staleFlowEnd = false; // the link is about to end a flow that is not this connection's
    bool firstConnection = true;
    CardIdentity identified;   // the card on this connection, once it has said who it is

    Impl(CardLink& l, LinkClock& clock, HeldSetup& h, OperatorUi& u, CardOperation& owner)
        : link(l), held(h), ui(u), q(owner), next(clock.createTimer())
    {
        next->onTimeout = [this] {
            if (auto start = std::exchange(nextConnection, nullptr))
                start();
        };
        connect(&link, &CardLink::imageReceived, &q, [this](const QByteArray& image, const QByteArray& serial) { imageReceived(image, serial); });
        connect(&link, &CardLink::flowEnded, &q, [this](const FlowResult& result) { flowFinished(result.outcome); });
        connect(&link, &CardLink::stageReached, &q, [this](TransferStage stage) { linkProgress(stage); });
        connect(&link, &CardLink::imageAcknowledged, &q, [this] { linkProgress(TransferStage::ImageTransferred); });
        connect(&link, &CardLink::imageSending, &q, [this] { imageSending = step == Step::Send; });
        // The card the next Send is for; a set-up read only to be compared is no reason to change it.
        connect(&link, &CardLink::cardIdentified, &q, [this](const CardIdentity& card) {
            identified = card;
            if (card.kind && step != Step::Compare)
                held.connectedCardType = *card.kind;
        });
    }

    void stage(OperationStage s, bool done) { Q_EMIT q.stageChanged(s, done); }

    void imageReceived(const QByteArray& image, const QByteArray& serial)
    {
        received = image;
        if ((step == Step::Get || step == Step::Compare) && options.backup) {
            // A Get goes on whatever became of its backup.
            const BackupResult written = BackupFolder(options.backupFolder, options.keepDays).write(image, serial);
            if (written.ok())
                backupPath = written.path;
            else
                ui.tell(written.error, MessageSeverity::Warning);
        }
        if (step == Step::Backup) {
            const BackupResult written = BackupFolder(options.backupFolder, options.keepDays).write(image, serial);
            backupPath = written.path;
            backupError = written.error;
        }
        if (link.runningFlow() != FlowKind::Read)
            hold(image);
    }

    // A Get's image, or one that came on a connection opened by hand, becomes the held set-up.
    void hold(const QByteArray& image)
    {
        const QByteArray previous = std::exchange(held.setupImage, image);
        if (const QString refusal = applySetupImage(held); !refusal.isEmpty()) {
            held.setupImage = previous;
            ui.tell(refusal, MessageSeverity::Critical);
            return;
        }
        held.loadedCardType = kindOfImage(image);
        ui.status(1, loadedSetupText(held.loadedCardType));
    }

    void linkProgress(TransferStage s)
    {
        if (step != Step::Get && step != Step::Send)
            return;
        switch (s) {
        case TransferStage::LinkSetUp:
            stage(OperationStage::Connecting, true);
            stage(OperationStage::Identifying, false);
            break;
        case TransferStage::CardIdentified:
            stage(OperationStage::Connecting, true);
            stage(OperationStage::Identifying, true);
            stage(step == Step::Get ? OperationStage::ReadingCard : OperationStage::Sending, false);
            break;
        case TransferStage::ImageTransferred:
            if (step == Step::Send) {
                imageDelivered = true;
                stage(OperationStage::Sending, true);
                stage(OperationStage::WritingToFlash, false);
            }
            break;
        case TransferStage::FlashResult:
            break;
        }
    }

    // Starts one of the link's flows as this operation's connection. A flow still running on
    // the link (Get or Send pressed again) is ended by the link first: its end is not ours.
    static QString connectionTitle(Step s)
    {
        switch (s) {
        case Step::Get: return QStringLiteral("get");
        case Step::Backup: return QStringLiteral("backup read");
        case Step::Send: return QStringLiteral("send");
        case Step::Verify: return QStringLiteral("verify");
        case Step::Compare: return QStringLiteral("read to compare");
        case Step::Idle: break;
        }
        return {};
    }

    void startFlow(Step s)
    {
        step = s;
        Q_EMIT q.connectionStarting(connectionTitle(s), std::exchange(firstConnection, false));
        identified = {};
        staleFlowEnd = link.flowRunning();
        if (s == Step::Get)
            link.get();
        else if (s == Step::Send)
            link.send(sendSource());
        else
            link.read();
        staleFlowEnd = false;
    }

    void startConnection(Step s)
    {
        step = s;
        nextConnection = [this, s] { startFlow(s); };
        next->start(0);
    }

    // What the Send sends: the version it is compared with, then the image, built for the card
    // that identified itself (or refused, saying why).
    SendSource sendSource()
    {
        return {[this] {
                    return held.connectedCardType == CardType::AVM && held.setupImage.size() > 1
                        ? quint8(held.setupImage.at(1)) : quint8(0);
                },
                [this](std::optional<quint8> cardVersion) -> std::optional<QByteArray> {
                    if (const QString wrong = wrongCard(); !wrong.isEmpty()) {
                        ui.status(2, QStringLiteral("Card Setup Failed"));
                        ui.tell(wrong, MessageSeverity::Critical);
                        return std::nullopt;
                    }
                    if (const QString refusal = buildSetupImage(held, cardVersion); !refusal.isEmpty()) {
                        ui.tell(refusal, MessageSeverity::Critical);
                        return std::nullopt;
                    }
                    return held.setupImage;
                }};
    }

    // Why the card on this connection is not the one the set-up is meant for; empty when it is
    // or when nobody said which card that is.
    QString wrongCard() const
    {
        const QByteArray& expected = options.expectedSerial;
        if (!expected.isEmpty() && identified.serial != expected)
            return QStringLiteral("The card on the line reports serial %1; the set-up is meant for the card with serial %2. Nothing was sent.")
                .arg(identified.serial.isEmpty() ? QStringLiteral("(none)") : QString::fromLatin1(identified.serial.toHex().toUpper()),
                     QString::fromLatin1(expected.toHex().toUpper()));
        if (options.expectedCard && identified.kind && *identified.kind != *options.expectedCard)
            return QStringLiteral("The card on the line is %1 card; the set-up is meant for %2 card. Nothing was sent.")
                .arg(withArticle(*identified.kind), withArticle(*options.expectedCard));
        return {};
    }

    void begin(bool isSend, const OperationOptions& o)
    {
        abandon();
        options = o;
        sending = isSend;
        received.clear();
        imageSending = false;
        imageDelivered = false;
        sent = false;
        backupPath.clear();
        backupError.clear();
        firstConnection = true;
    }

    void startSend()
    {
        stage(OperationStage::Connecting, false);
        startConnection(Step::Send);
    }

    void startVerify()
    {
        sentImage = held.setupImage; // as built and sent
        received.clear();
        stage(OperationStage::Verifying, false);
        startConnection(Step::Verify);
    }

    void flowFinished(FlowOutcome outcome)
    {
        const Step was = step;
        if (was == Step::Idle || std::exchange(staleFlowEnd, false))
            return;
        if (outcome != FlowOutcome::Succeeded) {
            finish(false);
            return;
        }
        switch (was) {
        case Step::Get:
            stage(OperationStage::ReadingCard, true);
            finish(true);
            return;
        case Step::Backup:
            afterBackupRead();
            return;
        case Step::Send:
            sent = true;
            stage(OperationStage::WritingToFlash, true);
            if (options.verify)
                startVerify();
            else
                finish(true);
            return;
        case Step::Verify:
            compare();
            return;
        case Step::Compare:
            ui.status(2, QStringLiteral("Process Complete"));
            ui.tell(QStringLiteral("Card Setup Retrieved"), MessageSeverity::Information);
            finish(true);
            return;
        case Step::Idle:
            return;
        }
    }

    void afterBackupRead()
    {
        if (!backupError.isEmpty()) {
            ui.status(2, QStringLiteral("Card Setup Failed"));
            ui.tell(backupError + QStringLiteral(" Nothing was sent."), MessageSeverity::Critical);
            finish(false);
            return;
        }
        stage(OperationStage::ReadingCard, true);
        if (const QString wrong = wrongCard(); !wrong.isEmpty()) {
            ui.status(2, QStringLiteral("Card Setup Failed"));
            ui.tell(wrong, MessageSeverity::Critical);
            finish(false);
            return;
        }
        const CardType card = kindOfImage(received);
        if (card != held.loadedCardType) {
            ui.status(2, QStringLiteral("Card Setup Failed"));
            ui.tell(QStringLiteral("The card on the line is %1 card; the set-up to send is %2 set-up. Nothing was sent.")
                        .arg(withArticle(card), withArticle(held.loadedCardType)),
                    MessageSeverity::Critical);
            finish(false);
            return;
        }
        startSend();
    }

    void compare()
    {
        const QStringList differences = readBackDifferences(sentImage, received);
        if (differences.isEmpty()) {
            stage(OperationStage::Verifying, true);
            ui.status(2, QStringLiteral("Card Setup Verified"));
            ui.tell(QStringLiteral("Card Setup Verified."), MessageSeverity::Information);
            finish(true);
            return;
        }
        ui.status(2, QStringLiteral("Card Setup Verify Failed"));
        // The settings that differ may be many: they are the message's details.
        ui.tell(QStringLiteral("The card holds a different set-up than was sent."), MessageSeverity::Warning,
                differences.join(QLatin1Char('\n')));
        finish(false);
    }

    void finish(bool succeeded)
    {
        if (step == Step::Idle)
            return;
        step = Step::Idle;
        next->stop();
        nextConnection = nullptr;
        Q_EMIT q.finished({succeeded, sent});
    }

    QString tooLateText(bool received) const
    {
        QString text = received
                           ? QStringLiteral("The card had already received the set-up when the Send was cancelled: it may hold the new set-up now.")
                           : QStringLiteral("The set-up was on its way to the card when the Send was cancelled: the card may hold it now.");
        if (!backupPath.isEmpty())
            text += QStringLiteral(" Its previous set-up is kept in %1.").arg(QDir::toNativeSeparators(backupPath));
        return text;
    }

    void abandon()
    {
        step = Step::Idle;
        next->stop();
        nextConnection = nullptr;
    }
};

CardOperation::CardOperation(CardLink& link, LinkClock& clock, HeldSetup& held, OperatorUi& ui)
    : d(std::make_unique<Impl>(link, clock, held, ui, *this))
{
}

CardOperation::~CardOperation() = default;

void CardOperation::get(const OperationOptions& options)
{
    d->begin(false, options);
    d->stage(OperationStage::Connecting, false);
    d->startFlow(Impl::Step::Get);
}

void CardOperation::send(const OperationOptions& options)
{
    d->begin(true, options);
    if (!options.backup) {
        d->stage(OperationStage::Connecting, false);
        d->startFlow(Impl::Step::Send);
        return;
    }
    d->stage(OperationStage::ReadingCard, false);
    d->startFlow(Impl::Step::Backup);
}

void CardOperation::compare(const OperationOptions& options)
{
    d->begin(false, options);
    d->startFlow(Impl::Step::Compare);
}

void CardOperation::cancel()
{
    const bool between = d->nextConnection != nullptr;
    // Perhaps too late to stop the card: it may have the new set-up and be writing it to flash.
    const bool sending = d->step == Impl::Step::Send;
    const bool received = sending && d->imageDelivered;
    const bool maybe = sending && d->imageSending;
    d->finish(false);
    if (between)
        d->link.endTransfer(EndReason::Cancelled);
    else
        d->link.cancel();
    if (received || maybe)
        d->ui.tell(d->tooLateText(received), MessageSeverity::Warning);
}

void CardOperation::abandon() { d->abandon(); }

bool CardOperation::betweenConnections() const { return d->nextConnection != nullptr; }

void CardOperation::fail() { d->finish(false); }

bool CardOperation::running() const { return d->step != Impl::Step::Idle; }

QList<OperationStage> operationStages(bool send, const OperationOptions& options)
{
    using S = OperationStage;
    if (!send)
        return {S::Connecting, S::Identifying, S::ReadingCard};
    QList<S> list;
    if (options.backup)
        list << S::ReadingCard;
    list << S::Connecting << S::Identifying << S::Sending << S::WritingToFlash;
    if (options.verify)
        list << S::Verifying;
    return list;
}

QList<OperationStage> CardOperation::stages() const { return operationStages(d->sending, d->options); }

QString CardOperation::backupPath() const { return d->backupPath; }

QByteArray CardOperation::receivedImage() const { return d->received; }

} // namespace quillon
