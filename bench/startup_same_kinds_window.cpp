// The start-up baseline that does what the window does at the least: a window of the same size
// (623 x 96) holding one control of each kind the window uses, a label, a line edit, an editable
// combo box with two entries, a group box with two radio buttons and a push button, all with
// Qt's defaults. It starts the font system and runs the same widget code as the window, so only
// what the window does beyond that shows in the ratio. Closed once shown the same way as
// startup_signal_simulator.
#include "close_once_shown.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app{argc, argv};
    QWidget window;
    window.setFixedSize(623, 96);

    auto* label = new QLabel{QStringLiteral("Procedure"), &window};
    label->setGeometry(8, 8, 65, 17);
    auto* combo = new QComboBox{&window};
    combo->setEditable(true);
    combo->addItems({QStringLiteral("cxlplace"), QStringLiteral("cancel")});
    combo->setGeometry(8, 24, 65, 21);
    auto* edit = new QLineEdit{QStringLiteral("1"), &window};
    edit->setGeometry(136, 24, 57, 19);
    auto* group = new QGroupBox{QStringLiteral("Entry/Exit Tag"), &window};
    group->setGeometry(328, 56, 153, 33);
    auto* yes = new QRadioButton{QStringLiteral("Yes"), group};
    yes->setGeometry(56, 16, 49, 13);
    yes->setChecked(true);
    auto* no = new QRadioButton{QStringLiteral("No"), group};
    no->setGeometry(104, 16, 41, 13);
    auto* button = new QPushButton{QStringLiteral("Send Out Signal"), &window};
    button->setGeometry(488, 56, 121, 33);

    window.show();
    const kestrane::bench::CloseOnceShown closer{window};
    const int exitCode = QApplication::exec();
    return closer.closedOnceShown() ? exitCode : 3;
}
