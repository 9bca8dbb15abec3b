// The signal entry window on Qt Widgets.
//
//   Form1                  one QWidget built from the design table form1Controls: every control
//                          is created, named, placed and filled from its row, so nothing about
//                          the layout lives here. Provides SignalFormView to the send action.
//   TitledFrame            the option buttons' frame, its title drawn on its top line.
//   Command1 (clicked)     the only handled event: runs Command1_Click with the window's clock.
//                          One press is one send: a held key sends once, and presses made
//                          while a send is in progress are dropped (eventFilter).
//   startSignalSimulator   (start.h) what the program does at start: build Form1 and show it.
#pragma once

#include "signal/send_action.h"
#include "window/form_design.h"

#include <QGroupBox>
#include <QWidget>
#include <array>
#include <string>
#include <string_view>

class QKeyEvent;
class QPushButton;
class QLineEdit;
class QRadioButton;

namespace kestrane::window::qt {

// A frame with its title on its top line, as designed: the option buttons sit just below the
// title, where the usual styles would draw the top line across them. Draws the line and the
// title itself; no style sheet, whose style would take part in painting every control in it.
class TitledFrame final : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

    static constexpr int cornerRadius = 3;
    static constexpr int titleLeft = 6;    // from the frame's left edge to the gap in the line
    static constexpr int titlePadding = 2; // between the gap's ends and the title

    // Where the title is drawn, in the frame's coordinates.
    QRect titleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class Form1 final : public QWidget, public signal::SignalFormView {
    Q_OBJECT

public:
    // `clock` is where each send reads the local date and time; tests pass a fixed one.
    explicit Form1(signal::LocalClock clock = signal::readLocalClock, QWidget* parent = nullptr);

    std::string controlText(std::string_view controlName) const override;
    void setTimeStampText(const std::string& text) override;
    bool isTagSelected() const override;
    void showMessage(const std::string& text, signal::MessageIcon icon,
                     const std::string& caption) override;

    // The size of the form's font in device-independent pixels, so it scales with the layout.
    // At this size every caption, initial text and list entry fits its designed box in the
    // platform's default family, even a wide one such as DejaVu Sans (the combo boxes, whose
    // drop-down buttons leave the least room, decide it).
    static constexpr int fontPixelSize = 9;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void chainTabOrder();
    bool filterCommand1Key(const QKeyEvent& key);
    void onCommand1Clicked();
    // The control of that identity as the class it was created as.
    template <typename Control>
    Control* controlAs(ControlId id) const;

    signal::LocalClock clock_;
    std::array<QWidget*, controlCount> controls_{}; // by indexOf(ControlId)
    QPushButton* command1_ = nullptr;
    QLineEdit* txtTimeStamp_ = nullptr;
    QRadioButton* optYes_ = nullptr;
    // True while a send is in progress; presses on Command1 meanwhile are dropped.
    bool sending_ = false;
    // The last release of a key that presses Command1, and its time: a press of the same key
    // at the same time is the X server repeating a held key, not a new press.
    int lastReleasedKey_ = 0;
    quint64 lastReleaseTime_ = 0;
};

} // namespace kestrane::window::qt
