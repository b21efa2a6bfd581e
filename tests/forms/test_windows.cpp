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
        SettingsForm* form;
        const char* key;
        const char* caption;
        bool announcedOnLoad;
    };
    std::vector<Window> windows()
    {
        return {{&audio, "Audio", "Set-up Audio", true},
                {&sid, "AVM", "Set-up Source ID", true},
                {&win, "Win", "Set-up Windows", false},
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

        QSignalSpy on(w.form, &SettingsForm::windowOn);
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
    setup.setText(Field::tSIDNot, QStringLiteral("KEPT"));

    QSignalSpy off(&win, &SettingsForm::windowOff);
    QPointer<QMdiSubWindow> guard(sub);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(guard);
    EXPECT_FALSE(sub->isVisible());
    ASSERT_EQ(off.count(), 1);
    EXPECT_EQ(off.at(0).at(0).toString(), "Win");

    sub->show();
    EXPECT_TRUE(win.isVisible());
    EXPECT_EQ(child<QLineEdit>(&win, "tSIDNot")->text(), "KEPT");
    area.removeSubWindow(&win);
    win.setParent(nullptr);
}

TEST_F(WindowsTest, closingAFreeStandingWindowHidesItAndSaysSo)
{
    controls.show();
    QSignalSpy off(&controls, &SettingsForm::windowOff);
    controls.close();
    EXPECT_FALSE(controls.isVisible());
    ASSERT_EQ(off.count(), 1);
    EXPECT_EQ(off.at(0).at(0).toString(), "Controls");
}

TEST_F(WindowsTest, controlsThatAreNotOfferedStayHiddenWhenTheWindowIsShown)
{
    const std::pair<SettingsForm*, const char*> hidden[] = {
        {&audio, "fA1Left(1)"}, {&audio, "fB1Right(1)"}, {&win, "fAudioWin"},
        {&win, "fState(1)"},    {&win, "Frame3"},        {&colors, "Slider1(5)"},
        {&colors, "Text1(5)"},  {&colors, "Label6"},     {&colors, "Label10(5)"},
        {&colors, "Label10(11)"}, {&controls, "Label13(0)"}, {&controls, "Label13(1)"},
        {&controls, "Label13(2)"},
    };
    for (const Window& w : windows())
        w.form->show();
    LoadDefaultConfig(setup);
    for (const auto& [form, name] : hidden) {
        auto* control = child<QWidget>(form, name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_FALSE(control->isVisible()) << name;
    }
    // Their neighbours are offered.
    for (const auto& [form, name] : {std::pair<SettingsForm*, const char*>{&audio, "fA1Left(0)"},
                                     {&win, "fSIDWin"}, {&win, "fState(4)"}, {&win, "Frame2"},
                                     {&colors, "Slider1(4)"}, {&controls, "btnStopTest"}})
        EXPECT_TRUE(child<QWidget>(form, name)->isVisible()) << name;
}

TEST_F(WindowsTest, portButtonsReportTheirClicksAndDiagnosticLabelsTakeTextHidden)
{
    auto* open = child<QPushButton>(&controls, "btnStartTest");
    auto* close = child<QPushButton>(&controls, "btnStopTest");
    EXPECT_EQ(open->text(), "Open Port");
    EXPECT_EQ(close->text(), "Close Port");
    QSignalSpy opened(&controls, &frmControlConfig::openPortClicked);
    QSignalSpy closed(&controls, &frmControlConfig::closePortClicked);
    open->click();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(closed.count(), 0);
    close->click();
    EXPECT_EQ(closed.count(), 1);

    auto* header = child<QLabel>(&controls, "Label13(1)");
    EXPECT_EQ(header->text(), "Label1");
    controls.show();
    controls.setDiagnosticLabel(1, QStringLiteral("True"));
    controls.setDiagnosticLabel(3, QStringLiteral("ignored"));
    controls.setDiagnosticLabel(-1, QStringLiteral("ignored"));
    EXPECT_EQ(header->text(), "True");
    EXPECT_EQ(child<QLabel>(&controls, "Label13(0)")->text(), "Label1");
    EXPECT_FALSE(header->isVisible());
}

} // namespace
} // namespace quillon::testing
