// SPDX-License-Identifier: GPL-3.0-or-later
// The windows as the main window sees them: keys, captions, announcements, closing, and the
// controls that are never shown.
#include "formfixture.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>

namespace quillon::testing {
namespace {

class WindowsTest : public FormsTest {
protected:
    struct Window {
        SettingsWindow* form;
        const char* key;
        const char* caption;
        bool announcedOnLoad;
    };
    std::vector<Window> windows()
    {
        return {{&audio, "Audio", "Set-up Audio", true},
                {&sid, "SourceId", "Set-up Source ID", true},
                {&win, "Windows", "Set-up Windows", false},
                {&colors, "Colors", "Set-up Colors", false},
                {&controls, "Controls", "Set-up Controls", false}};
    }
};

TEST_F(WindowsTest, eachWindowHasItsKeyAndCaptionAndAnnouncesItselfWhenActivated)
{
    for (const Window& w : windows()) {
        SCOPED_TRACE(w.key);
        EXPECT_EQ(w.form->windowKey(), QLatin1String(w.key));
        EXPECT_EQ(w.form->windowTitle(), QLatin1String(w.caption));
        EXPECT_EQ(formNamed(w.form->objectName()), w.form); // named as its fields name it

        QSignalSpy on(w.form, &SettingsWindow::windowOn);
        w.form->load();
        EXPECT_EQ(on.count(), w.announcedOnLoad ? 1 : 0);
        w.form->activate();
        ASSERT_EQ(on.count(), w.announcedOnLoad ? 2 : 1);
        EXPECT_EQ(on.last().at(0).toString(), QLatin1String(w.key));
    }
}

TEST_F(WindowsTest, closingAWindowInTheWorkspaceHidesItAndKeepsWhatItShows)
{
    QMdiArea area;
    QMdiSubWindow* sub = area.addSubWindow(&win);
    area.show();
    sub->show();
    setup.setText(Field::MissingSidMessage, QStringLiteral("KEPT"));

    QSignalSpy off(&win, &SettingsWindow::windowOff);
    QPointer<QMdiSubWindow> guard(sub);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(guard);
    EXPECT_FALSE(sub->isVisible());
    ASSERT_EQ(off.count(), 1);
    EXPECT_EQ(off.at(0).at(0).toString(), "Windows");

    sub->show();
    EXPECT_TRUE(win.isVisible());
    EXPECT_EQ(child<QLineEdit>(&win, "missingSidMessage")->text(), "KEPT");
    area.removeSubWindow(&win);
    win.setParent(nullptr);
}

TEST_F(WindowsTest, closingAFreeStandingWindowHidesItAndSaysSo)
{
    controls.show();
    QSignalSpy off(&controls, &SettingsWindow::windowOff);
    controls.close();
    EXPECT_FALSE(controls.isVisible());
    ASSERT_EQ(off.count(), 1);
    EXPECT_EQ(off.at(0).at(0).toString(), "Controls");
}

TEST_F(WindowsTest, controlsThatAreNotOfferedStayHiddenWhenTheWindowIsShown)
{
    const std::pair<SettingsWindow*, const char*> hidden[] = {
        {&audio, "fineAdjustA2Frame"}, {&audio, "fineAdjustB2Frame"}, {&win, "audioWindowFrame"},
        {&win, "sidWindowStateFrame"},    {&win, "noSidMessageFrame"},        {&colors, "grey2"},
        {&colors, "grey2Value"},  {&colors, "grey2Caption"},     {&colors, "grey2Minimum"},
        {&colors, "grey2Maximum"}, {&controls, "checkModeDiagnostic"}, {&controls, "headerModeDiagnostic"},
        {&controls, "dataDiagnostic"},
    };
    for (const Window& w : windows())
        w.form->show();
    loadDefaults(setup);
    for (const auto& [form, name] : hidden) {
        auto* control = child<QWidget>(form, name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_FALSE(control->isVisible()) << name;
    }
    // Their neighbours are offered.
    for (const auto& [form, name] : {std::pair<SettingsWindow*, const char*>{&audio, "fineAdjustChannel1Frame"},
                                     {&win, "sidWindowFrame"}, {&win, "missingSidModeFrame"}, {&win, "gpi2MessageFrame"},
                                     {&colors, "errorRegion"}, {&controls, "closePort"}})
        EXPECT_TRUE(child<QWidget>(form, name)->isVisible()) << name;
}

TEST_F(WindowsTest, portButtonsReportTheirClicksAndDiagnosticLabelsTakeTextHidden)
{
    auto* open = child<QPushButton>(&controls, "openPort");
    auto* close = child<QPushButton>(&controls, "closePort");
    EXPECT_EQ(open->text(), "Open Port");
    EXPECT_EQ(close->text(), "Close Port");
    QSignalSpy opened(&controls, &ControlSettingsWindow::openPortClicked);
    QSignalSpy closed(&controls, &ControlSettingsWindow::closePortClicked);
    open->click();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(closed.count(), 0);
    close->click();
    EXPECT_EQ(closed.count(), 1);

    auto* header = child<QLabel>(&controls, "headerModeDiagnostic");
    EXPECT_EQ(header->text(), "Label1");
    controls.show();
    controls.setDiagnosticLabel(1, QStringLiteral("True"));
    controls.setDiagnosticLabel(3, QStringLiteral("ignored"));
    controls.setDiagnosticLabel(-1, QStringLiteral("ignored"));
    EXPECT_EQ(header->text(), "True");
    EXPECT_EQ(child<QLabel>(&controls, "checkModeDiagnostic")->text(), "Label1");
    EXPECT_FALSE(header->isVisible());
}

// ---- size ----------------------------------------------------------------------------------

// The size of every control that shows.
std::map<QString, QSize> controlSizes(QWidget* form)
{
    std::map<QString, QSize> sizes;
    int unnamed = 0;
    for (QWidget* control : form->findChildren<QWidget*>()) {
        if (control->isVisible())
            sizes[control->objectName().isEmpty() ? QString::number(unnamed++) : control->objectName()] = control->size();
    }
    return sizes;
}

TEST_F(WindowsTest, aLargerWindowKeepsItsControlsAtTheirNaturalSize)
{
    for (const Window& w : windows()) {
        SCOPED_TRACE(w.key);
        w.form->show();
        w.form->resize(w.form->sizeHint());
        QApplication::processEvents();
        const auto natural = controlSizes(w.form);
        w.form->resize(w.form->sizeHint() * 2);
        QApplication::processEvents();
        EXPECT_EQ(controlSizes(w.form), natural);
    }
}

TEST_F(WindowsTest, atItsSmallestEveryWindowShowsEveryLineOfItsCaptions)
{
    for (const Window& w : windows()) {
        SCOPED_TRACE(w.key);
        w.form->show();
        w.form->resize(1, 1); // held to the layout's minimum
        QApplication::processEvents();
        for (QLabel* caption : w.form->findChildren<QLabel*>()) {
            if (caption->isVisible() && caption->wordWrap()) {
                EXPECT_GE(caption->height(), caption->heightForWidth(caption->width()))
                    << caption->objectName().toStdString();
            }
        }
    }
}

// ---- accessibility -------------------------------------------------------------------------

// Walks what a screen reader sees of a window: every control it can reach, by focus or as a
// button, must have a name.
void expectNamed(QAccessibleInterface* node, const QString& path, QStringList& unnamed)
{
    if (!node || node->state().invisible)
        return;
    const QAccessible::Role role = node->role();
    const bool reachable = node->state().focusable || role == QAccessible::Button
                           || role == QAccessible::RadioButton || role == QAccessible::CheckBox;
    const QString here = path + QLatin1Char('/')
                         + (node->object() ? node->object()->objectName() : QString()) + QLatin1Char(':')
                         + QString::number(role);
    if (reachable && node->text(QAccessible::Name).trimmed().isEmpty())
        unnamed << here;
    for (int i = 0; i < node->childCount(); ++i)
        expectNamed(node->child(i), here, unnamed);
}

QAccessibleInterface* accessible(QWidget* form, const char* name)
{
    QObject* control = form->findChild<QObject*>(QLatin1String(name));
    EXPECT_NE(control, nullptr) << name;
    return control ? QAccessible::queryAccessibleInterface(control) : nullptr;
}

TEST_F(WindowsTest, everyControlAScreenReaderReachesHasAName)
{
    for (const Window& w : windows()) {
        w.form->show();
        QStringList unnamed;
        expectNamed(QAccessible::queryAccessibleInterface(w.form), QString(), unnamed);
        EXPECT_TRUE(unnamed.isEmpty()) << w.key << ": " << unnamed.join(QStringLiteral(", ")).toStdString();
    }
}

TEST_F(WindowsTest, controlsAreNamedAfterTheirCaptionAndReportReadOnlyBoxes)
{
    struct Expected {
        SettingsWindow* form;
        const char* control;
        const char* name;
        int readOnly; // -1: not a box
    };
    const Expected rows[] = {
        {&colors, "textBrightnessValue", "Text Brightness", 1},
        {&colors, "errorRegionValue", "Error Region", 1},
        {&colors, "barBorderBrightness", "Bar Graph Border Brightness", -1},
        {&sid, "sdiOutputFrame", "SDI Output", -1},
        {&sid, "compositeOutputFrame", "Composite Output", -1},
        {&sid, "sidLine625Pesa", "PESA", 1},
        {&audio, "fineAdjustChannel1Frame", "Channel 1", -1},
        {&audio, "fineAdjustChannel2Frame", "Channel 2", -1},
        {&audio, "fineAdjustChannel2", "Channel 2", 0},
        {&win, "statusWindowVertical", "Vertical", 1},
        {&win, "missingSidMessage", "Missing SID Message", 0},
        {&audio, "peakLevel", "Peak Analog", -1}, // by its caption, not by the item chosen
        {&audio, "audioGroup", "Group Select", -1},
        {&sid, "videoStandard", "Video Standard", -1},
    };
    for (const Expected& row : rows) {
        QAccessibleInterface* control = accessible(row.form, row.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->text(QAccessible::Name), QLatin1String(row.name)) << row.control;
        if (row.readOnly >= 0) {
            EXPECT_EQ(control->state().readOnly, row.readOnly == 1) << row.control;
            EXPECT_EQ(control->state().editable, row.readOnly == 0) << row.control;
        }
    }
    // The spinners' arrows say what they change.
    for (const auto& [form, spinner, caption] :
         {std::tuple<SettingsWindow*, const char*, const char*>{&win, "timeCodeWindowHorizontalSpinner", "Horizontal"},
          {&sid, "sidLine525VitcSpinner", "VITC"}, {&audio, "fineAdjustChannel1Spinner", "Channel 1"}}) {
        QAccessibleInterface* arrows = accessible(form, spinner);
        ASSERT_NE(arrows, nullptr);
        ASSERT_EQ(arrows->childCount(), 2);
        EXPECT_EQ(arrows->child(0)->text(QAccessible::Name), QStringLiteral("Increase %1").arg(caption));
        EXPECT_EQ(arrows->child(1)->text(QAccessible::Name), QStringLiteral("Decrease %1").arg(caption));
        EXPECT_EQ(arrows->child(0)->role(), QAccessible::Button);
    }
}

} // namespace
} // namespace quillon::testing
