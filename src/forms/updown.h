// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace quillon {

// A pair of arrows that steps a whole number between its limits, beside a buddy text box.
// It never writes the buddy itself: it reports the operator's steps, and the owner puts the
// value into the set-up, which then shows it in the buddy. With a buddy attached, the arrow
// keys and the mouse wheel in the buddy step the value too, so the box is usable from the
// keyboard even when it is read-only.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // Moves the value into the new limits silently.
    void setRange(int minimum, int maximum);
    // Sets the value silently; a value outside the limits is ignored.
    void setValue(int value);
    void setBuddy(QLineEdit* buddy);
    QLineEdit* buddy() const { return buddy_; }
    // Names the spinner and its arrows for a screen reader: "Increase Horizontal".
    void setCaption(const QString& caption);

    QSize sizeHint() const override;

public Q_SLOTS:
    // Moves the value by steps, stopping at the limits; reports it when it changed.
    void stepBy(int steps);

Q_SIGNALS:
    void valueStepped(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* makeArrow(Qt::ArrowType direction, int steps);

    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QLineEdit* buddy_ = nullptr;
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
};

} // namespace quillon
