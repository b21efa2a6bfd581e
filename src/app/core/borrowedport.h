// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "../../link/serialcontrol.h"
#include "../../setup/operatorui.h"

namespace quillon {

// The serial control lent to a second card link (reading a card's set-up to compare it) while
// the program's own link stands idle: its events go to the borrower until it is given back.
class BorrowedSerialControl : public SerialControl {
public:
    explicit BorrowedSerialControl(SerialControl& owner)
        : owner_(owner), ownersComm_(owner.onComm), ownersDrained_(owner.onOutputDrained)
    {
        owner_.onComm = [this](int event) {
            if (onComm)
                onComm(event);
        };
        owner_.onOutputDrained = [this] {
            if (onOutputDrained)
                onOutputDrained();
        };
    }
    ~BorrowedSerialControl() override
    {
        owner_.onComm = ownersComm_;
        owner_.onOutputDrained = ownersDrained_;
    }
    BorrowedSerialControl(const BorrowedSerialControl&) = delete;
    BorrowedSerialControl& operator=(const BorrowedSerialControl&) = delete;

    void setCommPort(int port) override { owner_.setCommPort(port); }
    int commPort() const override { return owner_.commPort(); }
    void setSettings(const QString& settings) override { owner_.setSettings(settings); }
    QString settings() const override { return owner_.settings(); }
    bool setPortOpen(bool open) override { return owner_.setPortOpen(open); }
    bool portOpen() const override { return owner_.portOpen(); }
    int inBufferCount() const override { return owner_.inBufferCount(); }
    int outBufferCount() const override { return owner_.outBufferCount(); }
    QByteArray input(int maxBytes) override { return owner_.input(maxBytes); }
    void output(const QByteArray& bytes) override { owner_.output(bytes); }
    void discardOutput() override { owner_.discardOutput(); }
    QString lastError() const override { return owner_.lastError(); }
    void whenSent(std::function<void()> done) override { owner_.whenSent(std::move(done)); }
    QString diagnose(int port) const override { return owner_.diagnose(port); }

private:
    SerialControl& owner_;
    std::function<void(int)> ownersComm_;
    std::function<void()> ownersDrained_;
};

// Passes everything on but status panel 1, which names the set-up held: a set-up read only
// to be compared is not held.
class ComparisonUi : public OperatorUi {
public:
    explicit ComparisonUi(OperatorUi& ui) : ui_(ui) {}
    void message(const QString& text) override { ui_.message(text); }
    void messageWithDetails(const QString& text, const QString& details) override
    {
        ui_.messageWithDetails(text, details);
    }
    void status(int panel, const QString& text) override
    {
        if (panel != 1)
            ui_.status(panel, text);
    }
    void transferButtonsEnabled(bool enabled) override { ui_.transferButtonsEnabled(enabled); }
    void diagnosticLabel(int index, const QString& text) override { ui_.diagnosticLabel(index, text); }
    void showProgress() override { ui_.showProgress(); }
    void progress(TransferStage stage) override { ui_.progress(stage); }
    void hideProgress() override { ui_.hideProgress(); }
    void focusMainWindow() override { ui_.focusMainWindow(); }

private:
    OperatorUi& ui_;
};

} // namespace quillon
