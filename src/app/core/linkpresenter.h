// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "operatorui.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

namespace quillon {

class CardLink;
class LinkClock;
class LinkTimer;

// What the operator is shown of the card link: it turns the link's signals into the message
// boxes, status panels, toolbar buttons 5 and 6, the hidden diagnostic labels and the progress
// dialog, in the order they happen. The one table of the link's wording.
class LinkPresenter : public QObject {
    Q_OBJECT
public:
    LinkPresenter(CardLink& link, OperatorUi& ui, LinkClock& clock);
    ~LinkPresenter() override;

    // The name the flash result's messages give the set-up ("Studio Transferred.").
    std::function<QString()> fileName;
    // Where a failure's words go besides the operator: the frame log.
    std::function<void(const QString& text)> logNote;
    // Shut-down: the buttons' own timer stops.
    void stop();

private:
    void say(const QString& text, MessageSeverity severity, const QString& details = {});
    void failed(const LinkFailure& failure);
    void stageReached(TransferStage stage);
    void connectionEnded(EndReason reason);
    void flashReported(quint8 result);
    void flowEnded(const FlowResult& result);

    CardLink& link_;
    OperatorUi& ui_;
    std::unique_ptr<LinkTimer> buttonRestore_; // the buttons come back 20 s after a flow starts
    QStringList slowServers_; // said once for each: an operation opens several connections
};

} // namespace quillon
