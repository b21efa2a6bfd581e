// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../setup/cardtype.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace quillon {

class CardLink;
class LinkClock;
struct HeldSetup;
class OperatorUi;

// The stages of a whole Get or Send as the operator follows them.
enum class OperationStage { ReadingCard, Connecting, Identifying, Sending, WritingToFlash, Verifying };
// A Get's reading of the card is the operation itself, not a backup before a Send.
QString operationStageText(OperationStage stage, bool send = true);

// The safety net of one operation.
struct OperationOptions {
    bool backup = true;    // Get and Compare: keep what arrived; Send: read the card and keep it first
    bool verify = true;    // Send: read the set-up back and compare
    QString backupFolder;  // where backups go
    int keepDays = 365;
    // Send: the card the set-up is meant for, when it is known (its 5-byte serial, its kind). A
    // card that reports another is refused before anything is sent to it: a card swapped in a
    // rack keeps its own set-up.
    QByteArray expectedSerial;
    std::optional<CardType> expectedCard;
};

// The stages a Get or Send with these options goes through, in order.
QList<OperationStage> operationStages(bool send, const OperationOptions& options);

// How an operation ended.
struct OperationResult {
    bool succeeded = false;
    bool sent = false; // a Send's image reached the card and was written to its flash
};

// A Get, Send or Compare as a sequence of connections over one CardLink: for a Send, read the
// card and keep a backup, send, read back and compare. Each connection is one of CardLink's
// flows; the next starts only after the previous has ended, never inside it. It applies what a
// Get receives (or a set-up that arrives on a connection opened by hand) to the held set-up and
// gives a Send its image.
class CardOperation : public QObject {
    Q_OBJECT
public:
    CardOperation(CardLink& link, LinkClock& clock, HeldSetup& held, OperatorUi& ui);
    ~CardOperation() override;

    void get(const OperationOptions& options);
    void send(const OperationOptions& options);
    // Reads the card's set-up without holding it (receivedImage() then has it).
    void compare(const OperationOptions& options);
    // Ends the whole operation with reason 8, whatever stage it is in; a backup written stays.
    void cancel();
    // Closing the program: ends the operation without telling anyone.
    void abandon();

    bool running() const;
    // One connection has ended and the next has not started yet.
    bool betweenConnections() const;
    // The running operation has failed from outside (its connection vanished): it ends quietly.
    void fail();
    // The stages this operation goes through, in order (for the progress list).
    QList<OperationStage> stages() const;
    // The backup file written by this operation, if any.
    QString backupPath() const;
    // The image the last Compare (or backup or verify) read.
    QByteArray receivedImage() const;

Q_SIGNALS:
    // A stage starts (done false) or is complete (done true).
    void stageChanged(OperationStage stage, bool done);
    // A connection of the operation is about to open: what it is for ("backup read", "send",
    // "verify"), and whether it is the operation's first.
    void connectionStarting(const QString& what, bool first);
    // Once, when the operation has ended.
    void finished(const OperationResult& result);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon
