// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../link/cardlink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace quillon {

class LinkClock;
class LinkTimer;
struct HeldSetup;
class OperatorUi;

// The stages of a whole Get or Send as the operator follows them.
enum class OperationStage { ReadingCard, Connecting, Identifying, Sending, WritingToFlash, Verifying };
// A Get's reading of the card is the operation itself, not a backup before a Send.
QString operationStageText(OperationStage stage, bool send = true);

// The safety net of one operation.
struct OperationOptions {
    bool backup = true;    // Get: keep what arrived; Send: read the card and keep it first
    bool verify = true;    // Send: read the set-up back and compare
    QString backupFolder;  // where backups go
    int keepDays = 365;
};

// The stages a Get or Send with these options goes through, in order.
QList<OperationStage> operationStages(bool send, const OperationOptions& options);

// A Get or Send as a sequence of connections over one CardLink: for a Send, read the card and
// keep a backup, send, read back and compare. Each connection is one of CardLink's flows; the
// next starts only after the previous has ended, never inside it.
class CardOperation {
public:
    CardOperation(CardLink& link, LinkClock& clock, HeldSetup& held, OperatorUi& ui);
    ~CardOperation();
    CardOperation(const CardOperation&) = delete;
    CardOperation& operator=(const CardOperation&) = delete;

    void get(const OperationOptions& options);
    void send(const OperationOptions& options);
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

    // Told when a stage starts (done false) and when it is complete (done true).
    std::function<void(OperationStage, bool done)> onStage;
    // Told once, when the operation has ended.
    std::function<void(bool succeeded)> onFinished;
    // The backup file written by this operation, if any.
    QString backupPath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillon
