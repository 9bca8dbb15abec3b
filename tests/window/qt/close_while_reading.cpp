// The window whose path suggestions read folders that never answer (as on a stalled network
// mount): each read waits until standard input ends, which the test that starts this program
// holds open. Once a read waits, the window is closed as the window manager closes it; the
// program must then end, the read still waiting.
#include "window/qt/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using kestrane::window::qt::Form1;

int main(int argc, char* argv[]) {
    const QApplication application{argc, argv};
    Form1* shown = nullptr;
    Form1 form{kestrane::signal::readLocalClock, [&shown](const std::string&) {
                   std::fputs("read waiting; ", stdout);
                   std::fflush(stdout);
                   QMetaObject::invokeMethod(shown, &QWidget::close, Qt::QueuedConnection);
                   char byte = 0;
                   while (::read(STDIN_FILENO, &byte, 1) > 0) {
                   }
                   return std::vector<std::string>{};
               }};
    shown = &form;
    form.show();
    auto* path = form.findChild<QLineEdit*>(QStringLiteral("Text6"));
    path->setFocus();
    path->clear();
    QTest::keyClick(path, '/');
    const int status = QApplication::exec();
    std::fputs("window closed\n", stdout);
    std::fflush(stdout);
    return status;
}
