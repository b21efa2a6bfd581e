// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "setup/cardsetup.h"

#include <QHash>
#include <QWidget>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;

class QMdiSubWindow;

namespace quillon {

class UpDown;

// A settings window: a view of its share of the one set-up. The operator's edits go into the
// set-up at once, and every change of the set-up shows in the controls at once. Every control
// carries a name that says what it holds as objectName ("timeCodeWindowHorizontal"); a
// setting's control carries the name that FieldInfo gives it.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(const QString& windowKey, const QString& caption, CardSetup& setup,
                 QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // The key the main window marks the window in use by: "Audio", "SourceId", "Windows", ...
    QString windowKey() const { return windowKey_; }

    // Called once after creation.
    virtual void load();
    // Called whenever the window becomes the active one.
    virtual void activate();
    // While an AVM set-up is held its image is sent as it is: the window's settings do not
    // apply, so their controls are disabled under a line that says so.
    void setSettingsApply(bool apply);
    bool settingsApply() const { return settingsApply_; }

    // Gives the keyboard focus to the first control the operator can reach, unless one of the
    // window's controls holds it already.
    void takeFocus();
    // Hides a settings window's MDI sub-window, taking the keyboard focus out of it first.
    static void hideSubWindow(QMdiSubWindow* subWindow);

Q_SIGNALS:
    void windowOn(const QString& key);
    void windowOff(const QString& key);

protected:
    // The operator closed the window. Inside an MDI area the sub-window is hidden rather than
    // closed, so the window and what it shows survive and can be shown again.
    void closeEvent(QCloseEvent* event) override;

    CardSetup& setup() const { return setup_; }

    // Lays the window's controls out at their natural size, whatever the window's size.
    void setPageContent(QLayout* content);
    // A control that is no setting (a button that opens the port) stays enabled while the
    // settings do not apply.
    static void keepEnabled(QWidget* control);

    // Frames and labels.
    QGroupBox* frame(const QString& name, const QString& caption);
    QLabel* label(const QString& name, const QString& text);

    // The caption beside a list names it, for the keyboard (its buddy) and for screen readers
    // ("Peak Analog", not the item chosen).
    static void captionOf(QLabel* caption, QComboBox* list);

    // Controls bound to one field each.
    QComboBox* choiceList(const QString& name, Field field);
    // A list whose edit field takes typed text that selects nothing: only picking an item
    // (from the list or with the arrow keys) chooses. Return or leaving the field puts the
    // item the set-up holds back, or unchosenText while it holds none.
    QComboBox* editableChoiceList(const QString& name, Field field, const QString& unchosenText);
    QRadioButton* optionButton(const QString& name, const QString& caption, Field field);
    QCheckBox* checkBox(const QString& name, const QString& caption, Field field);
    QLineEdit* textBox(const QString& name, Field field);
    struct NumberBox {
        QLineEdit* box;
        UpDown* spinner;
        QHBoxLayout* row; // the box with its spinner
    };
    // A number box with its spinner; a read-only box is changed by the spinner only. The
    // caption names both for a screen reader ("Horizontal", "Increase Horizontal").
    NumberBox numberBox(const QString& boxName, const QString& spinnerName, const QString& caption,
                        Field field, bool readOnly);
    // A slider with the read-only box that shows its value.
    QSlider* levelSlider(const QString& name, QLineEdit* valueBox, Field field);

    // When the operator leaves the box, its text is held to the field's range.
    void checkRangeOnLeaving(QLineEdit* box, Field field);

    // Runs a change of the set-up. A value the set-up refuses changes nothing; the controls
    // then show the set-up's values again.
    void changeSetup(Field field, const std::function<void(SetupValues&)>& change);

private:
    void onFieldChanged(Field field);
    void refresh(Field field);
    // Keeps a control in step with a field, starting now.
    void addRefresher(Field field, const std::function<void()>& refresher);
    void refreshSpinnerRanges();
    void whenLeft(QLineEdit* box, std::function<void()> handler);
    void bindChoice(QComboBox* list, Field field, const QString& unchosenText);

    QString windowKey_;
    CardSetup& setup_;
    QHash<int, std::vector<std::function<void()>>> refreshers_;
    std::vector<std::function<void()>> spinnerRangeRefreshers_;
    std::vector<QObject*> leaveWatchers_;
    bool refreshing_ = false;
    bool settingsApply_ = true;
    QWidget* page_ = nullptr;
    QLabel* notApplying_ = nullptr;
};

} // namespace quillon
