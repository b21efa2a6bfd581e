// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleetjob.h"

#include "cardsession.h"
#include "fleetports.h"
#include "settingsstore.h"

#include "../../files/setupfiles.h"
#include "../../link/routedserialcontrol.h"
#include "../../setup/setupimage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillon {

namespace {

// After its connection has ended a card's port is let go once what was written has left (the
// closing SYN may queue behind a frame: at 1200 baud a byte takes 9.2 ms) and this much later,
// so that the next card on the same line finds it free; at the latest after ReleaseLimitMs.
constexpr int SettleMs = 20;
constexpr int ReleaseLimitMs = 2000;

QString withArticle(CardType kind) { return kind == CardType::AVM ? QStringLiteral("an AVM") : QStringLiteral("a SID"); }

// The operator's side of one card's session: nothing is shown; messages are kept for the
// card's result, the progress is passed on.
class JobUi : public OperatorUi {
public:
    void message(const QString& text) override { messages << text; }
    void messageWithDetails(const QString& text, const QString& more) override
    {
        messages << text;
        details << more.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void status(int panel, const QString& text) override
    {
        if (panel == 2 && !text.isEmpty() && onStatus)
            onStatus(text);
    }

    QStringList messages;
    QStringList details;
    std::function<void(const QString&)> onStatus;
};

std::unique_ptr<SerialControl> programPort(const InventoryCard& card, const SettingsStore& settings)
{
    auto port = std::make_unique<RoutedSerialControl>(settings);
    port->forceDevice(cardPortDevice(card.port, settings));
    return port;
}

void holdSetup(const ComparedSetup& setup, HeldSetup& held)
{
    if (setup.kind == CardType::AVM) {
        held.setupImage = setup.image;
    } else {
        held.fields.setValues(setup.values);
    }
    held.loadedCardType = setup.kind;
    held.connectedCardType = setup.kind;
}

class SessionJob : public CardJob {
public:
    SessionJob(std::shared_ptr<const FleetJobSetup> setup, const InventoryCard& card, const FleetTask& task)
        : setup_(std::move(setup)), card_(card), task_(task), limit_(setup_->clock->createTimer()),
          later_(setup_->clock->createTimer())
    {
        limit_->onTimeout = [this] { overTime(); };
    }

    ~SessionJob() override
    {
        // A run given up on: the connection ends with its SYN as the program's does when closed.
        if (session_)
            session_->shutdown();
        session_.reset();
    }

    void start() override
    {
        if (const QString why = prepare(); !why.isEmpty()) {
            result_.outcome = CardOutcome::Failed;
            result_.message = why;
            tell();
            return;
        }
        open();
        limit_->start(setup_->limitMs);
        begin();
    }

    void stop() override
    {
        if (!session_ || ending_)
            return;
        stopped_ = true;
        session_->cancel(); // the operation ends now, its connection with a SYN the card hears
        if (!ending_)
            concluded(false);
    }

private:
    // Why the card cannot be started at all; empty when it can.
    QString prepare()
    {
        if (const QString problem = portNameProblem(card_.port); !problem.isEmpty())
            return QStringLiteral("The card's port cannot be used: %1.").arg(problem);
        const FleetAction action = task_.action;
        if (action == FleetAction::Send) {
            if (!setup_->setup)
                return QStringLiteral("No set-up to send.");
            if (card_.kind && *card_.kind != setup_->setup->kind)
                return QStringLiteral("The inventory has \"%1\" as %2 card; the set-up to send is %3 set-up. Nothing was sent.")
                    .arg(card_.name, withArticle(*card_.kind), withArticle(setup_->setup->kind));
        }
        if (action == FleetAction::Verify || action == FleetAction::Diff) {
            const QString path = referencePath(card_, setup_->inventoryPath);
            if (path.isEmpty())
                return QStringLiteral("The inventory names no reference set-up for \"%1\" (reference = FILE in its entry).").arg(card_.name);
            try {
                reference_ = readSetupFile(path);
            } catch (const SetupFileError& e) {
                return e.message();
            }
            if (card_.kind && *card_.kind != reference_->kind)
                return QStringLiteral("The reference set-up %1 is %2 set-up; the inventory has \"%3\" as %4 card.")
                    .arg(QDir::toNativeSeparators(path), withArticle(reference_->kind), card_.name, withArticle(*card_.kind));
        }
        return {};
    }

    void open()
    {
        const SettingsStore& settings = *setup_->settings;
        port_ = setup_->makePort ? setup_->makePort(card_) : programPort(card_, settings);
        ports_ = std::make_unique<FixedPort>(1, cardPortDevice(card_.port, settings));
        loadDefaults(held_.fields);
        if (task_.action == FleetAction::Send)
            holdSetup(*setup_->setup, held_);
        session_ = std::make_unique<CardSession>(*port_, *ports_, held_, ui_, settings, setup_->clock);
        session_->trace().setPath(setup_->trace ? perCardPath(settings.tracePath(), card_.name) : QString());
        if (!setup_->frameLog.isEmpty())
            session_->frameLog().setPath(perCardPath(setup_->frameLog, card_.name));
        const QString name = task_.action == FleetAction::Send ? QFileInfo(task_.file).completeBaseName() : card_.name;
        session_->presenter().fileName = [name] { return name; };

        ui_.onStatus = [this](const QString& text) { progress(text); };
        CardOperation& operation = session_->operation();
        CardLink& link = session_->link();
        QObject::connect(&operation, &CardOperation::finished, &operation, [this](const OperationResult& r) { concluded(r.succeeded); });
        QObject::connect(&operation, &CardOperation::stageChanged, &operation, [this](OperationStage stage, bool done) {
            if (!done)
                progress(operationStageText(stage, task_.action == FleetAction::Send));
        });
        QObject::connect(&link, &CardLink::cardIdentified, &link, [this](const CardIdentity& card) { identity_ = card; });
        QObject::connect(&link, &CardLink::imageReceived, &link, [this](const QByteArray& image) { image_ = image; });
        QObject::connect(&link, &CardLink::imageSending, &link, [this] { imageWent_ = true; });
        QObject::connect(session_.get(), &CardSession::connectionEnded, session_.get(), [this](const LinkCounters& counters) {
            if (setup_->onConnectionEnded)
                setup_->onConnectionEnded(card_, counters);
            watchConnection();
        });
    }

    void begin()
    {
        OperationOptions options = task_.options;
        CardOperation& operation = session_->operation();
        switch (task_.action) {
        case FleetAction::Send:
            options.expectedSerial = QByteArray::fromHex(card_.serial.toLatin1());
            options.expectedCard = card_.kind;
            operation.send(options);
            return;
        case FleetAction::Backup:
            options.backup = true;
            operation.compare(options); // reads without holding; what it read is kept
            return;
        case FleetAction::Status:
        case FleetAction::Verify:
        case FleetAction::Diff:
            options.backup = false;
            operation.compare(options);
            return;
        }
    }

    void progress(const QString& text)
    {
        if (progressed && !ending_)
            progressed(text);
    }

    // A connection that ended under a running flow, once the link has had its say, fails the
    // operation (a port that vanished between the link's steps).
    void watchConnection()
    {
        if (ending_)
            return;
        later_->onTimeout = [this] {
            const CardOperation& operation = session_->operation();
            if (!ending_ && operation.running() && !session_->link().portOpen() && !operation.betweenConnections())
                session_->operation().fail();
        };
        later_->start(0);
    }

    void overTime()
    {
        if (ending_)
            return;
        ui_.message(QStringLiteral("No result after %1 s: the card's connection was ended.").arg(setup_->limitMs / 1000));
        session_->operation().fail();
        if (!ending_)
            concluded(false);
    }

    void concluded(bool succeeded)
    {
        if (ending_)
            return;
        ending_ = true;
        succeeded_ = succeeded;
        limit_->stop();
        // Not inside the operation's own signal: the session ends its connection, then goes.
        later_->onTimeout = [this] {
            session_->operation().abandon();
            if (session_->busy())
                session_->shutdown();
            later_->onTimeout = [this] { release(); };
            later_->start(ReleaseLimitMs);
            port_->whenSent([this, alive = std::weak_ptr<bool>(alive_)] {
                if (!alive.expired() && port_ && !told_)
                    later_->start(SettleMs);
            });
        };
        later_->start(0);
    }

    void release()
    {
        // Now, not when the operation ended: what a Cancel says comes after it (the set-up may
        // be on the card already).
        result_ = resultOf(succeeded_);
        session_.reset();
        port_.reset();
        tell();
    }

    void tell()
    {
        if (told_)
            return;
        told_ = true;
        if (finished)
            finished(result_);
    }

    CardResult resultOf(bool succeeded)
    {
        CardResult r;
        r.kind = identity_.kind;
        if (!identity_.serial.isEmpty())
            r.serial = QString::fromLatin1(identity_.serial.toHex().toUpper());
        if (!image_.isEmpty() && task_.action == FleetAction::Status)
            r.version = quint8(image_.size() > 1 ? image_.at(1) : 0);
        r.backup = session_->operation().backupPath();
        r.differences = ui_.details;
        if (!succeeded) {
            r.outcome = CardOutcome::Failed;
            r.message = ui_.messages.isEmpty() ? QStringLiteral("The card's work ended without a result.") : ui_.messages.join(u' ');
            if (stopped_)
                r.message.prepend(QStringLiteral("Stopped. "));
            // Whether the card may hold something else now is what the engineer asks first.
            if (task_.action == FleetAction::Send && !imageWent_ && !r.message.contains(QLatin1String("Nothing was sent")))
                r.message += QStringLiteral(" Nothing was sent.");
            return r;
        }
        r.outcome = CardOutcome::Ok;
        switch (task_.action) {
        case FleetAction::Status:
            r.message = QStringLiteral("%1, serial %2, set-up version %3")
                            .arg(r.kind ? cardTypeName(*r.kind) + QStringLiteral(" card") : QStringLiteral("A card of unknown kind"),
                                 r.serial.isEmpty() ? QStringLiteral("-") : r.serial,
                                 r.version ? QString::number(*r.version) : QStringLiteral("-"));
            break;
        case FleetAction::Backup:
            if (r.backup.isEmpty()) {
                r.outcome = CardOutcome::Failed;
                r.message = ui_.messages.isEmpty() ? QStringLiteral("No backup was written.") : ui_.messages.join(u' ');
            }
            break;
        case FleetAction::Send:
            r.message = task_.options.verify ? QStringLiteral("Sent, written to flash and read back the same.")
                                             : QStringLiteral("Sent and written to flash.");
            break;
        case FleetAction::Verify:
        case FleetAction::Diff:
            compareWithReference(r);
            break;
        }
        return r;
    }

    void compareWithReference(CardResult& r) const
    {
        const ComparedSetup card = comparedSetupOfImage(image_, reference_->kind == CardType::SID ? reference_->values : defaultSetupValues());
        const SetupComparison comparison = compareSetups(*reference_, card);
        if (!comparison.comparable()) {
            r.outcome = CardOutcome::Failed;
            r.message = comparison.refusal;
            return;
        }
        for (const SetupDifference& difference : comparison.differences)
            r.differences << differenceLine(difference);
        if (r.differences.isEmpty()) {
            r.message = QStringLiteral("Holds its reference set-up.");
            return;
        }
        r.outcome = CardOutcome::Failed;
        r.message = QStringLiteral("Differs from its reference set-up: %1.").arg(differenceCount(comparison));
    }

    std::shared_ptr<const FleetJobSetup> setup_;
    InventoryCard card_;
    FleetTask task_;
    std::optional<ComparedSetup> reference_;
    std::unique_ptr<SerialControl> port_;
    std::unique_ptr<FixedPort> ports_;
    HeldSetup held_;
    JobUi ui_;
    std::unique_ptr<CardSession> session_;
    std::unique_ptr<LinkTimer> limit_;
    std::unique_ptr<LinkTimer> later_;
    CardIdentity identity_;
    QByteArray image_;
    bool stopped_ = false;
    bool imageWent_ = false; // Send: the image went to the port
    bool succeeded_ = false;
    bool ending_ = false; // the operation has ended; the port is being let go
    bool told_ = false;
    CardResult result_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // for the port's callbacks
};

} // namespace

QString perCardPath(const QString& path, const QString& cardName)
{
    if (path.isEmpty())
        return {};
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._+-]"));
    QString name = cardName;
    name.replace(unsafe, QStringLiteral("_"));
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString file = suffix.isEmpty() ? info.fileName() + u'-' + name
                                          : info.completeBaseName() + u'-' + name + u'.' + suffix;
    return info.path() == QLatin1String(".") && !path.startsWith(QLatin1String("./")) ? file : QDir(info.path()).filePath(file);
}

QString cardPortDevice(const QString& port, const SettingsStore& settings)
{
    static const QRegularExpression com(QStringLiteral("^com([1-4])$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(port);
    return m.hasMatch() ? settings.portDevice(m.captured(1).toInt()) : port;
}

CardJobFactory sessionJobFactory(std::shared_ptr<const FleetJobSetup> setup)
{
    return [setup](const InventoryCard& card, const FleetTask& task) -> std::unique_ptr<CardJob> {
        return std::make_unique<SessionJob>(setup, card, task);
    };
}

} // namespace quillon
