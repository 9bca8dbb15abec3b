// The signal entry window on Qt Widgets, built from the design table form1Controls.
#pragma once

#include "path_suggestions.h"
#include "signal/send_action.h"
#include "window/form_design.h"

#include <QList>
#include <QWidget>
#include <array>
#include <string>
#include <string_view>

class QCloseEvent;
class QKeyEvent;
class QPushButton;
class QLineEdit;
class QRadioButton;

namespace kestrane::window::qt {

class Form1 final : public QWidget, public signal::SignalFormView {
    Q_OBJECT

public:
    // `clock` is where each send reads the local date and time, `readFolder` where the path
    // suggestions list a folder; tests pass their own.
    explicit Form1(signal::LocalClock clock = signal::readLocalClock,
                   FolderReader readFolder = readFolderNames, QWidget* parent = nullptr);

    std::string controlText(std::string_view name) const override;
    void setTimeStampText(const std::string& text) override;
    bool isTagSelected() const override;
    void showMessage(const std::string& text, signal::MessageIcon icon,
                     const std::string& caption) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void chainTabOrder();
    bool filterCommand1Key(const QKeyEvent& key);
    bool filterMessageBoxKey(const QKeyEvent& key);
    // True for a press that repeats a held key rather than a new press of it.
    bool isRepeat(const QKeyEvent& key) const;
    void onCommand1Clicked();
    // The control of that identity as the class it was created as.
    template <typename Control>
    Control* controlAs(ControlId id) const;

    signal::LocalClock clock_;
    std::array<QWidget*, controlCount> controls_{}; // by indexOf(ControlId)
    QPushButton* command1_ = nullptr;
    // The path field, which suggests paths, and the time stamp box the send action writes.
    QLineEdit* Text6_ = nullptr;
    QLineEdit* txtTimeStamp_ = nullptr;
    QRadioButton* optYes_ = nullptr;
    // True while a send is in progress; presses on Command1 meanwhile are dropped, and a close
    // asked for meanwhile waits for its end.
    bool sending_ = false;
    bool closeWhenSent_ = false;
    // The last release of a key on Command1 or the message box, and its time: a press of the
    // same key at the same time is the X server repeating a held key, not a new press.
    int lastReleasedKey_ = 0;
    quint64 lastReleaseTime_ = 0;
    // The message box while it is up, and the keys first pressed while it was: only these may
    // dismiss it.
    QWidget* messageBox_ = nullptr;
    QList<int> keysPressedInMessageBox_;
};

} // namespace kestrane::window::qt
