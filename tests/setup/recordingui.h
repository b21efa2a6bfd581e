// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/operatorui.h"

#include <QMap>
#include <QStringList>

// Keeps what the code under test showed the operator.
class RecordingUi : public quillon::OperatorUi {
public:
    void message(const QString& text) override { messages << text; }
    void status(int panel, const QString& text) override { statuses[panel] = text; }

    QStringList messages;
    QMap<int, QString> statuses;
};
