// The windows as the main window sees them: keys, captions, announcements, closing, and the
// controls that are never shown.
#include "formfixture.h"

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

} // namespace
} // namespace quillon::testing
