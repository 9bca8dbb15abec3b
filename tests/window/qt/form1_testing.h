// What the Qt window's tests share: the window as the program shows it, reading a fixed clock,
// its controls by name, and the texts a user sees in them.
#pragma once

#include "support/form_design_lookup.h"
#include "window/form_design.h"
#include "window/qt/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <memory>
#include <string_view>
#include <utility>

using kestrane::signal::LocalDateTime;
using kestrane::window::ControlDesign;
using kestrane::window::ControlKind;
using kestrane::window::findControl;
using kestrane::window::form1Controls;
using kestrane::window::qt::Form1;

namespace form1_testing {

inline constexpr LocalDateTime sendTime{2007, 1, 18, 16, 52};
inline const QString sendStamp = QStringLiteral("2007011816520");
inline const QString initialLine = QStringLiteral("cxlplace,BUY,1,MKT,0,0,2007011816520,entry");

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Widget = QWidget>
inline Widget* control(const QWidget& form, const QString& name) {
    return form.findChild<Widget*>(name);
}

// The designed control that holds the keyboard focus (a combo box, not its inner edit field).
inline QString focusedControlName() {
    for (QWidget* widget = QApplication::focusWidget(); widget != nullptr;
         widget = widget->parentWidget()) {
        if (findControl(widget->objectName().toStdString()) != nullptr) {
            return widget->objectName();
        }
    }
    return {};
}

// A window as the program shows it, active, reading a fixed clock and, for the path
// suggestions, folders as given.
inline std::unique_ptr<Form1> showForm(
    kestrane::signal::LocalClock clock = [] { return sendTime; },
    kestrane::window::qt::FolderReader readFolder = kestrane::window::qt::readFolderNames) {
    auto form = std::make_unique<Form1>(std::move(clock), std::move(readFolder));
    form->show();
    form->activateWindow();
    QCoreApplication::processEvents();
    return form;
}

// What a user sees in a field, by the field's kind.
inline QString shownText(const QWidget* widget) {
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    return {};
}

} // namespace form1_testing

using namespace form1_testing;
