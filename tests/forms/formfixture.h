// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "forms/audiosettingswindow.h"
#include "forms/coloursettingswindow.h"
#include "forms/controlsettingswindow.h"
#include "forms/sourceidsettingswindow.h"
#include "forms/onscreensettingswindow.h"
#include "setup/setupimage.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace quillon::testing {

// The five windows over one set-up holding the defaults, as the program starts.
class FormsTest : public ::testing::Test {
protected:
    FormsTest()
    {
        loadDefaults(setup);
    }

    SettingsWindow* formNamed(const QString& form)
    {
        if (form == QLatin1String("audioSettingsWindow")) return &audio;
        if (form == QLatin1String("sourceIdSettingsWindow")) return &sid;
        if (form == QLatin1String("onScreenSettingsWindow")) return &win;
        if (form == QLatin1String("colourSettingsWindow")) return &colors;
        if (form == QLatin1String("controlSettingsWindow")) return &controls;
        return nullptr;
    }

    // The control that holds a field: "onScreenSettingsWindow.timeCodeWindowHorizontal" is the
    // control timeCodeWindowHorizontal of the window onScreenSettingsWindow.
    template <typename Control>
    Control* controlOf(Field field)
    {
        const QString name = QString::fromLatin1(fieldInfo(field).name);
        SettingsWindow* form = formNamed(name.section(QLatin1Char('.'), 0, 0));
        return form ? form->findChild<Control*>(name.section(QLatin1Char('.'), 1)) : nullptr;
    }

    template <typename Control>
    static Control* child(QWidget* form, const char* name)
    {
        auto* control = form->findChild<Control*>(QLatin1String(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Shows a window and makes it the active one, so that focus moves as it does for the operator.
    static void showActive(QWidget* form)
    {
        form->show();
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    }

    // Clicks the box or round button of a check box or option button, where the operator aims.
    static void clickBox(QWidget* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    // Puts the focus into box, then moves it on to the next control, as Tab does.
    static void enterAndLeave(QLineEdit* box)
    {
        box->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(box->hasFocus());
        QTest::keyClick(box, Qt::Key_Tab);
        ASSERT_FALSE(box->hasFocus());
    }

    CardSetup setup;
    AudioSettingsWindow audio{setup};
    SourceIdSettingsWindow sid{setup};
    OnScreenSettingsWindow win{setup};
    ColourSettingsWindow colors{setup};
    ControlSettingsWindow controls{setup};
};

} // namespace quillon::testing
