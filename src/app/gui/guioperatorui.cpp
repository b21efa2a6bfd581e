#include "guioperatorui.h"

#include "forms/frmcontrolconfig.h"
#include "forms/frmprogress.h"
#include "mdiform1.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>

namespace quillon {

void showMessageBox(QWidget* parent, const QString& text, const QString& detail)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quillon"), text,
                                QMessageBox::Ok, parent);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

GuiOperatorUi::GuiOperatorUi(MDIForm1& window, MessageSink sink)
    : window_(window), sink_(std::move(sink))
{
}

void GuiOperatorUi::message(const QString& text)
{
    sink_(text, {});
}

void GuiOperatorUi::failure(const QString& text, const QString& reason)
{
    sink_(text, reason);
}

void GuiOperatorUi::status(int panel, const QString& text)
{
    if (QLabel* label = window_.statusPanel(panel)) {
        label->setText(text);
        label->setToolTip(text); // a long text is cut at the panel's edge
    }
}

void GuiOperatorUi::caption(const QString& text)
{
    window_.setWindowTitle(text);
}

void GuiOperatorUi::transferButtonsEnabled(bool enabled)
{
    for (int number : {5, 6}) {
        if (QAction* button = window_.toolbarButton(number))
            button->setEnabled(enabled);
    }
}

void GuiOperatorUi::diagnosticLabel(int index, const QString& text)
{
    if (auto* controls = window_.controlsForm())
        controls->setDiagnosticLabel(index, text);
}

void GuiOperatorUi::showProgress()
{
    if (frmProgress* dialog = window_.progressDialog(true))
        dialog->showForTransfer();
}

void GuiOperatorUi::progress(TransferStage stage)
{
    if (frmProgress* dialog = window_.progressDialog(false))
        dialog->setStage(stage);
}

void GuiOperatorUi::hideProgress()
{
    if (frmProgress* dialog = window_.progressDialog(false))
        dialog->hide();
}

void GuiOperatorUi::focusMainWindow()
{
    window_.raise();
    window_.activateWindow();
}

} // namespace quillon
