// The Qt window driven as a user drives it: key presses and clicks on the live widgets, a
// fixed clock, and a real signal file in a fresh folder; the program without a display.
#include "form1_testing.h"
#include "support/temp_dir.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <qpa/qwindowsysteminterface.h>
#include <vector>

using kestrane::testing::readBytes;
using kestrane::testing::TempDir;
using kestrane::testing::utf8;
using kestrane::window::qt::PathSuggestions;
using kestrane::window::qt::queryOf;
using kestrane::window::qt::readFolderNames;
using kestrane::window::qt::suggestionsFor;

namespace {

// The list of path suggestions while it shows (a window of its own), or null.
QAbstractItemView* shownSuggestions() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* list = qobject_cast<QAbstractItemView*>(window);
        if (list != nullptr && list->isVisible()) {
            return list;
        }
    }
    return nullptr;
}

QStringList entriesOf(const QAbstractItemView* list) {
    QStringList entries;
    for (int row = 0; list != nullptr && row < list->model()->rowCount(); ++row) {
        entries << list->model()->index(row, 0).data().toString();
    }
    return entries;
}

// A click as the display delivers it: to the window, at the control's middle, so that whatever
// the window has open (a popup) sees it first.
void clickThroughTheWindow(QWidget* form, QWidget* control) {
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      control->mapTo(form, control->rect().center()));
}

// Folder reads pass while it is open and wait while it is closed (at most a minute, so that a
// failed test leaves no thread waiting for ever).
class ReadGate {
public:
    void close() {
        const std::lock_guard lock{mutex_};
        open_ = false;
    }
    void open() {
        {
            const std::lock_guard lock{mutex_};
            open_ = true;
        }
        opened_.notify_all();
    }
    std::vector<std::string> read(const std::string& folder) {
        std::unique_lock lock{mutex_};
        opened_.wait_for(lock, std::chrono::minutes{1}, [this] { return open_; });
        lock.unlock();
        return readFolderNames(folder);
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = true;
};

// Selects what the focused field holds and types over it.
void typeOver(const QString& text) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// Selects what the focused field holds and pastes the text over it from the clipboard.
void pasteOver(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
}

// A key event at a time in milliseconds, as the display stamps it.
void sendKeyAt(QWidget* to, QEvent::Type type, int key, quint64 time, bool repeat = false) {
    QKeyEvent event{type, key, Qt::NoModifier, QString{}, repeat};
    event.setTimestamp(time);
    QApplication::sendEvent(to, &event);
}

// A key pressed before and held down: its repeated presses, flagged as such or, as an X server
// without detectable repeats sends them, each a release and a press with the same time and no
// flag; then its release.
void holdKey(QWidget* to, int key, int repeats, bool unflagged) {
    for (quint64 time = 1500; time < 1500 + 40 * quint64(repeats); time += 40) {
        if (unflagged) {
            sendKeyAt(to, QEvent::KeyRelease, key, time);
        }
        sendKeyAt(to, QEvent::KeyPress, key, time, !unflagged);
    }
    sendKeyAt(to, QEvent::KeyRelease, key, 2000);
}

// What the user does while a send waits on the file system, queued until the send returns to
// the event loop.
enum class DuringSend {
    Nothing,
    PressesAndKeys, // a click, Return and Space
    MousePressOnly, // the mouse button goes down, and comes up after the send
};

void queuePressesOn(QPushButton* command1, DuringSend what = DuringSend::PressesAndKeys) {
    const QPointF at = QRectF{command1->rect()}.center();
    const auto post = [&](QEvent* event) {
        QCoreApplication::postEvent(command1, event);
    };
    post(new QMouseEvent{QEvent::MouseButtonPress, at, command1->mapToGlobal(at), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier});
    if (what == DuringSend::MousePressOnly) {
        return;
    }
    post(new QMouseEvent{QEvent::MouseButtonRelease, at, command1->mapToGlobal(at), Qt::LeftButton,
                         Qt::NoButton, Qt::NoModifier});
    for (const int pressed : {Qt::Key_Return, Qt::Key_Space}) {
        post(new QKeyEvent{QEvent::KeyPress, pressed, Qt::NoModifier});
        post(new QKeyEvent{QEvent::KeyRelease, pressed, Qt::NoModifier});
    }
}

// Records every message box shown while it lives, and once it runs modal does what the user
// does to it: by default a click on its OK button.
class MessageBoxCatcher final : public QObject {
public:
    struct Seen {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QWidget* parent;
        Qt::WindowModality modality;
        bool wasActiveModal = false;
    };
    using UserAction = std::function<void(QMessageBox&)>;

    explicit MessageBoxCatcher(UserAction userAction =
                                   [](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); })
        : userAction_{std::move(userAction)} {
        qApp->installEventFilter(this);
    }
    ~MessageBoxCatcher() override { qApp->removeEventFilter(this); }
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    std::vector<Seen> seen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box == nullptr || event->type() != QEvent::Show) {
            return false;
        }
        seen.push_back({box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                        box->parentWidget(), box->windowModality()});
        const std::size_t index = seen.size() - 1;
        QMetaObject::invokeMethod(
            box,
            [this, box, index] {
                seen[index].wasActiveModal = QApplication::activeModalWidget() == box;
                userAction_(*box);
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    UserAction userAction_;
};

// PasteRefused and TypeAtEndRefused expect the field to refuse what would make it too long.
enum class Step {
    TypeOver,
    TypeOverAndEnter,
    PasteOver,
    PasteRefused,
    TypeAtEndRefused,
    ChooseNextEntry,
    ArrowRight,
    Click
};

struct FormStep {
    Step step;
    QString control;
    QString text = {};
};

} // namespace

Q_DECLARE_METATYPE(DuringSend)
Q_DECLARE_METATYPE(QList<FormStep>)

class Form1BehaviourTest : public QObject {
    Q_OBJECT

private slots:
    void programWithoutDisplayExitsWithAMessage_data();
    void programWithoutDisplayExitsWithAMessage();
    void command1SendsOncePerActivation_data();
    void command1SendsOncePerActivation();
    void sendsWhatTheFieldsHold_data();
    void sendsWhatTheFieldsHold();
    void eachPressAppendsOneLineAndKeepsTheFields();
    void pathFieldSuggestsFilesAndKeepsWhatIsTyped();
    void suggestionsForATypedPath_data();
    void suggestionsForATypedPath();
    void clickWhileSuggestionsShowActsOnTheControl_data();
    void clickWhileSuggestionsShowActsOnTheControl();
    void closingWhileAFolderReadWaitsEndsTheProgram();
    void failedSendShowsItsMessageAndKeepsTheValues_data();
    void failedSendShowsItsMessageAndKeepsTheValues();
    void failureMessageStaysUntilAFreshPress_data();
    void failureMessageStaysUntilAFreshPress();
};

void Form1BehaviourTest::programWithoutDisplayExitsWithAMessage_data() {
    QTest::addColumn<QStringList>("settings"); // NAME=value, set in the program's environment
    QTest::addColumn<QString>("tried");
    QTest::newRow("no DISPLAY") << QStringList{} << QStringLiteral("X display (DISPLAY not set)");
    QTest::newRow("display not reachable")
        << QStringList{QStringLiteral("DISPLAY=:65535")} << QStringLiteral("X display \":65535\"");
    QTest::newRow("platform plugin missing")
        << QStringList{QStringLiteral("QT_QPA_PLATFORM=kestrane-missing")}
        << QStringLiteral("Qt platform \"kestrane-missing\" (plugin not installed)");
    // libwayland itself complains about the missing runtime folder before it gives up.
    QTest::newRow("Wayland without XDG_RUNTIME_DIR")
        << QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland"),
                       QStringLiteral("WAYLAND_DISPLAY=kestrane-missing")}
        << QStringLiteral("Wayland display \"kestrane-missing\"");
}

void Form1BehaviourTest::programWithoutDisplayExitsWithAMessage() {
    QFETCH(QStringList, settings);
    QFETCH(QString, tried);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"}) {
        environment.remove(QLatin1String(name));
    }
    for (const QString& setting : settings) {
        environment.insert(setting.section(QLatin1Char('='), 0, 0),
                           setting.section(QLatin1Char('='), 1));
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KESTRANE_PROGRAM), {});
    QVERIFY2(program.waitForFinished(30000),
             "the program did not end within 30 s without a display");

    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()),
             QStringLiteral("kestrane-signal-simulator: no display could be opened; tried ") +
                 tried + QLatin1Char('\n'));
}

void Form1BehaviourTest::command1SendsOncePerActivation_data() {
    QTest::addColumn<int>("key");     // 0: a mouse click
    QTest::addColumn<int>("repeats"); // repeated presses while the key is held
    // How the repeats come: flagged as such, or as an X server without detectable repeats
    // sends them, a release and a press with the same time and no flag.
    QTest::addColumn<bool>("unflagged");
    QTest::addColumn<DuringSend>("duringSend"); // what the user does while the first send waits
    QTest::addColumn<int>("sends");
    QTest::newRow("mouse click") << 0 << 0 << false << DuringSend::Nothing << 1;
    QTest::newRow("Space") << int(Qt::Key_Space) << 0 << false << DuringSend::Nothing << 1;
    QTest::newRow("Return") << int(Qt::Key_Return) << 0 << false << DuringSend::Nothing << 1;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 0 << false << DuringSend::Nothing << 1;
    QTest::newRow("Space held") << int(Qt::Key_Space) << 3 << false << DuringSend::Nothing << 1;
    QTest::newRow("Return held") << int(Qt::Key_Return) << 3 << false << DuringSend::Nothing << 1;
    QTest::newRow("keypad Enter held")
        << int(Qt::Key_Enter) << 3 << false << DuringSend::Nothing << 1;
    QTest::newRow("Space held, X repeats")
        << int(Qt::Key_Space) << 3 << true << DuringSend::Nothing << 1;
    QTest::newRow("Return held, X repeats")
        << int(Qt::Key_Return) << 3 << true << DuringSend::Nothing << 1;
    QTest::newRow("keypad Enter held, X repeats")
        << int(Qt::Key_Enter) << 3 << true << DuringSend::Nothing << 1;
    QTest::newRow("double-click") << 0 << 1 << false << DuringSend::Nothing << 2;
    QTest::newRow("presses during a send, then a click")
        << 0 << 1 << false << DuringSend::PressesAndKeys << 2;
    // The press was dropped, so its release clicks nothing.
    QTest::newRow("mouse press during a send, released after it")
        << 0 << 0 << false << DuringSend::MousePressOnly << 1;
}

void Form1BehaviourTest::command1SendsOncePerActivation() {
    QFETCH(int, key);
    QFETCH(int, repeats);
    QFETCH(bool, unflagged);
    QFETCH(DuringSend, duringSend);
    const DuringSend pressedDuringSend = duringSend;
    QFETCH(int, sends);
    const TempDir folder;
    const auto signalFile = folder / "Entries.txt";
    QPushButton* command1 = nullptr;
    const auto form = showForm([&] {
        if (const DuringSend what = std::exchange(duringSend, DuringSend::Nothing);
            what != DuringSend::Nothing) {
            queuePressesOn(command1, what);
        }
        return sendTime;
    });
    control<QLineEdit>(*form, QStringLiteral("Text6"))->setText(qs(utf8(signalFile)));
    command1 = control<QPushButton>(*form, QStringLiteral("Command1"));
    command1->setFocus();

    if (key == 0) {
        QTest::mouseClick(command1, Qt::LeftButton);
        if (repeats > 0) {
            QTest::mouseDClick(command1, Qt::LeftButton);
            QTest::mouseRelease(command1, Qt::LeftButton);
        }
    } else {
        sendKeyAt(command1, QEvent::KeyPress, key, 1000);
        holdKey(command1, key, repeats, unflagged);
    }
    QCoreApplication::processEvents();
    if (pressedDuringSend == DuringSend::MousePressOnly) {
        QTest::mouseRelease(command1, Qt::LeftButton);
    }

    QCOMPARE(qs(readBytes(signalFile)), (initialLine + QStringLiteral("\r\n")).repeated(sends));
    QCOMPARE(control<QLineEdit>(*form, QStringLiteral("txtTimeStamp"))->text(), sendStamp);
}

void Form1BehaviourTest::sendsWhatTheFieldsHold_data() {
    QTest::addColumn<QList<FormStep>>("steps");
    QTest::addColumn<QString>("line");
    const QString noTag = QStringLiteral("cxlplace,BUY,1,MKT,0,0,2007011816520");

    QTest::newRow("designed values") << QList<FormStep>{} << initialLine;
    QTest::newRow("No leaves the tag out, whatever the tag box holds")
        << QList<FormStep>{{Step::Click, QStringLiteral("optNo")},
                           {Step::TypeOver, QStringLiteral("cmbEntryExit"), QStringLiteral("xyz")}}
        << noTag;
    QTest::newRow("No chosen with an arrow key")
        << QList<FormStep>{{Step::ArrowRight, QStringLiteral("optYes")}} << noTag;
    QTest::newRow("exit chosen from the list")
        << QList<FormStep>{{Step::ChooseNextEntry, QStringLiteral("cmbEntryExit")}}
        << noTag + QStringLiteral(",exit");
    QTest::newRow("order type chosen from the list")
        << QList<FormStep>{{Step::ChooseNextEntry, QStringLiteral("cmbType")}}
        << QStringLiteral("cxlplace,BUY,1,STP,0,0,2007011816520,entry");
    // Combo boxes must not complete, correct the case of, or collect what is typed.
    QTest::newRow("side typed in another case")
        << QList<FormStep>{{Step::TypeOver, QStringLiteral("cmbSide"), QStringLiteral("buy")}}
        << QStringLiteral("cxlplace,buy,1,MKT,0,0,2007011816520,entry");
    QTest::newRow("procedure typed as the start of a list entry")
        << QList<FormStep>{{Step::TypeOver, QStringLiteral("cmbProc"), QStringLiteral("ca")}}
        << QStringLiteral("ca,BUY,1,MKT,0,0,2007011816520,entry");
    QTest::newRow("order type typed and confirmed with Enter")
        << QList<FormStep>{{Step::TypeOverAndEnter, QStringLiteral("cmbType"),
                            QStringLiteral("STOP")}}
        << QStringLiteral("cxlplace,BUY,1,STOP,0,0,2007011816520,entry");
    QTest::newRow("contracts holding a comma")
        << QList<FormStep>{{Step::TypeOver, QStringLiteral("txtContno"), QStringLiteral("1,5")}}
        << QStringLiteral("cxlplace,BUY,1,5,MKT,0,0,2007011816520,entry");
    // A field holds a paste of the longest text whole, and the line carries it whole; a paste
    // or a key that would make it longer is refused whole, never cut.
    const QString longest(4'096, u'7');
    QTest::newRow("4,096 characters pasted into Limit Price")
        << QList<FormStep>{{Step::PasteOver, QStringLiteral("txtLmt"), longest}}
        << QStringLiteral("cxlplace,BUY,1,MKT,") + longest +
               QStringLiteral(",0,2007011816520,entry");
    QTest::newRow("4,096 characters pasted into the procedure")
        << QList<FormStep>{{Step::PasteOver, QStringLiteral("cmbProc"), longest}}
        << longest + QStringLiteral(",BUY,1,MKT,0,0,2007011816520,entry");
    QTest::newRow("4,097 characters pasted into Limit Price are refused")
        << QList<FormStep>{{Step::PasteOver, QStringLiteral("txtLmt"), QStringLiteral("12")},
                           {Step::PasteRefused, QStringLiteral("txtLmt"), longest + u'8'}}
        << QStringLiteral("cxlplace,BUY,1,MKT,12,0,2007011816520,entry");
    QTest::newRow("a million characters pasted into the path are refused")
        << QList<FormStep>{{Step::PasteRefused, QStringLiteral("Text6"), QString(1'000'000, u'x')}}
        << initialLine;
    QTest::newRow("a key typed into a full procedure is refused")
        << QList<FormStep>{{Step::PasteOver, QStringLiteral("cmbProc"), longest},
                           {Step::TypeAtEndRefused, QStringLiteral("cmbProc"), QStringLiteral("8")}}
        << longest + QStringLiteral(",BUY,1,MKT,0,0,2007011816520,entry");
    QTest::newRow("typing into the read-only stamp changes nothing")
        << QList<FormStep>{{Step::TypeOver, QStringLiteral("txtTimeStamp"), QStringLiteral("1")}}
        << initialLine;
}

void Form1BehaviourTest::sendsWhatTheFieldsHold() {
    QFETCH(QList<FormStep>, steps);
    QFETCH(QString, line);
    const TempDir folder;
    const auto signalFile = folder / "Entries.txt";
    const auto form = showForm();
    control<QLineEdit>(*form, QStringLiteral("Text6"))->setText(qs(utf8(signalFile)));

    for (const FormStep& step : steps) {
        QWidget* widget = control(*form, step.control);
        if (step.step == Step::Click) {
            QTest::mouseClick(widget, Qt::LeftButton);
            continue;
        }
        widget->setFocus(Qt::TabFocusReason);
        QCOMPARE(focusedControlName(), step.control);
        if (step.step == Step::ChooseNextEntry) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        } else if (step.step == Step::ArrowRight) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        } else if (step.step == Step::PasteOver) {
            pasteOver(step.text);
        } else if (step.step == Step::PasteRefused || step.step == Step::TypeAtEndRefused) {
            // Refused whole, and the user hears and reads why.
            const QString held = shownText(widget);
            QToolTip::hideText();
            if (step.step == Step::PasteRefused) {
                pasteOver(step.text);
            } else {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
                QTest::keyClicks(QApplication::focusWidget(), step.text);
            }
            QCOMPARE(shownText(widget), held);
            QTRY_VERIFY(QToolTip::isVisible());
            QCOMPARE(QToolTip::text(),
                     QStringLiteral(
                         "This field holds at most 4,096 characters, so it was left as it was."));
        } else {
            typeOver(step.text);
            if (step.step == Step::TypeOverAndEnter) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            }
        }
        // Leaving the field is where a combo box would match its text against its list.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::mouseClick(control(*form, QStringLiteral("Command1")), Qt::LeftButton);

    QCOMPARE(qs(readBytes(signalFile)), line + QStringLiteral("\r\n"));
    // Nothing typed joins a list, and the tag box stays usable whatever the option.
    for (const ControlDesign& design : form1Controls) {
        if (design.kind == ControlKind::ComboBox) {
            QCOMPARE(control<QComboBox>(*form, qs(design.name))->count(),
                     int(design.listEntries.size()));
        }
    }
    QVERIFY(control(*form, QStringLiteral("cmbEntryExit"))->isEnabled());
}

void Form1BehaviourTest::eachPressAppendsOneLineAndKeepsTheFields() {
    const TempDir folder;
    const auto signalFile = folder / "Entries.txt";
    int minute = 52;
    const auto form = showForm([&minute] { return LocalDateTime{2007, 1, 18, 16, minute++}; });
    control<QLineEdit>(*form, QStringLiteral("Text6"))->setText(qs(utf8(signalFile)));
    control<QLineEdit>(*form, QStringLiteral("txtContno"))->setText(QStringLiteral("3"));
    auto* command1 = control<QPushButton>(*form, QStringLiteral("Command1"));

    QTest::mouseClick(command1, Qt::LeftButton);
    QTest::mouseClick(command1, Qt::LeftButton);
    QTest::keyClick(command1, Qt::Key_Space);
    // Presses without a time, as programs make them (an on-screen keyboard), are no repeats.
    for (int press = 0; press < 2; ++press) {
        sendKeyAt(command1, QEvent::KeyPress, Qt::Key_Return, 0);
        sendKeyAt(command1, QEvent::KeyRelease, Qt::Key_Return, 0);
    }

    QCOMPARE(qs(readBytes(signalFile)),
             QStringLiteral("cxlplace,BUY,3,MKT,0,0,2007011816520,entry\r\n"
                            "cxlplace,BUY,3,MKT,0,0,2007011816530,entry\r\n"
                            "cxlplace,BUY,3,MKT,0,0,2007011816540,entry\r\n"
                            "cxlplace,BUY,3,MKT,0,0,2007011816550,entry\r\n"
                            "cxlplace,BUY,3,MKT,0,0,2007011816560,entry\r\n"));
    QCOMPARE(control<QLineEdit>(*form, QStringLiteral("txtTimeStamp"))->text(),
             QStringLiteral("2007011816560"));
    QCOMPARE(control<QLineEdit>(*form, QStringLiteral("txtContno"))->text(), QStringLiteral("3"));
}

void Form1BehaviourTest::pathFieldSuggestsFilesAndKeepsWhatIsTyped() {
    const TempDir folder;
    for (const char* name : {"Entries.txt", "Exits.txt", "Orders.txt", ".hidden"}) {
        kestrane::testing::writeBytes(folder / name, "");
    }
    const auto form = showForm();
    auto* path = control<QLineEdit>(*form, QStringLiteral("Text6"));
    path->setFocus();
    path->clear();
    const QString typed = qs(utf8(folder / "E"));
    // Typed as a person types, key by key, so the folders are read meanwhile.
    QTest::keyClicks(path, typed, Qt::NoModifier, 20);

    QTRY_COMPARE(entriesOf(shownSuggestions()),
                 (QStringList{qs(utf8(folder / "Entries.txt")), qs(utf8(folder / "Exits.txt"))}));
    QCOMPARE(path->text(), typed);
    // The entries are in the form's font, not the larger default.
    QCOMPARE(shownSuggestions()->font(), form->font());

    // Down chooses the next entry, staying on the last, Up the one before; Return takes the
    // chosen one into the field and closes the list.
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
        QTest::keyClick(path, key);
    }
    QCOMPARE(path->text(), typed);
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(path->text(), qs(utf8(folder / "Entries.txt")));
    QVERIFY(shownSuggestions() == nullptr);
}

void Form1BehaviourTest::suggestionsForATypedPath_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names"); // in the folder, as it lists them
    QTest::addColumn<QStringList>("suggested");
    const QStringList names{QStringLiteral("b.txt"), QStringLiteral(".a"), QStringLiteral("a.txt"),
                            QStringLiteral("ab")};
    QTest::newRow("names starting with what is typed, in byte order")
        << QStringLiteral("/s/a") << names
        << QStringList{QStringLiteral("/s/a.txt"), QStringLiteral("/s/ab")};
    QTest::newRow("hidden names once a dot is typed")
        << QStringLiteral("/s/.") << names << QStringList{QStringLiteral("/s/.a")};
    QTest::newRow("the whole folder after a slash")
        << QStringLiteral("/s/") << names
        << QStringList{QStringLiteral("/s/a.txt"), QStringLiteral("/s/ab"),
                       QStringLiteral("/s/b.txt")};
    QTest::newRow("a relative path gets none") << QStringLiteral("s/a") << names << QStringList{};
    QTest::newRow("a name that is not UTF-8 is left out")
        << QStringLiteral("/s/") << QStringList{QStringLiteral("x\xff")} << QStringList{};
    QStringList many;
    QStringList first;
    for (int i = 999; i >= 0; --i) {
        many << QStringLiteral("signal-%1.txt").arg(i, 3, 10, QLatin1Char('0'));
    }
    for (int i = 0; i < 200; ++i) {
        first << QStringLiteral("/s/signal-%1.txt").arg(i, 3, 10, QLatin1Char('0'));
    }
    QTest::newRow("the first 200 of 1,000") << QStringLiteral("/s/sig") << many << first;
}

void Form1BehaviourTest::suggestionsForATypedPath() {
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QFETCH(QStringList, suggested);
    std::vector<std::string> listed;
    for (const QString& name : names) {
        // As bytes: "\xff" is the byte FF, which UTF-8 never holds.
        listed.push_back(name.toLatin1().toStdString());
    }
    QStringList got;
    if (const auto query = queryOf(typed.toStdString())) {
        for (const std::string& path : suggestionsFor(*query, listed)) {
            got << qs(path);
        }
    }
    QCOMPARE(got, suggested);
}

void Form1BehaviourTest::clickWhileSuggestionsShowActsOnTheControl_data() {
    QTest::addColumn<QStringList>("clicked"); // in this order, through the window
    QTest::addColumn<QString>("line");
    QTest::newRow("Send Out Signal") << QStringList{QStringLiteral("Command1")} << initialLine;
    QTest::newRow("No, then Send Out Signal")
        << QStringList{QStringLiteral("optNo"), QStringLiteral("Command1")}
        << QStringLiteral("cxlplace,BUY,1,MKT,0,0,2007011816520");
}

void Form1BehaviourTest::clickWhileSuggestionsShowActsOnTheControl() {
    QFETCH(QStringList, clicked);
    QFETCH(QString, line);
    const TempDir folder;
    for (const char* name : {"Entries.txt", "Exits.txt"}) {
        kestrane::testing::writeBytes(folder / name, "");
    }
    ReadGate gate;
    const auto form =
        showForm([] { return sendTime; }, [&gate](const std::string& at) { return gate.read(at); });
    const QSignalSpy answers{form->findChild<PathSuggestions*>(),
                             &PathSuggestions::suggestionsArrived};
    auto* path = control<QLineEdit>(*form, QStringLiteral("Text6"));
    path->setFocus();
    path->clear();
    const QString typed = qs(utf8(folder / "Entries.txt"));
    QTest::keyClicks(path, typed.chopped(1), Qt::NoModifier, 20);
    QTRY_VERIFY(shownSuggestions() != nullptr);
    // The last key's read is still under way when the click comes.
    gate.close();
    QTest::keyClick(path, typed.back().toLatin1());
    QVERIFY(shownSuggestions() != nullptr);

    for (const QString& name : clicked) {
        clickThroughTheWindow(form.get(), control(*form, name));
    }
    QVERIFY(shownSuggestions() == nullptr);
    // The read's answer, arriving after the click, does not open the list again.
    const qsizetype answered = answers.count();
    gate.open();
    QTRY_COMPARE(answers.count(), answered + 1);
    QVERIFY(shownSuggestions() == nullptr);

    QCOMPARE(qs(readBytes(folder / "Entries.txt")), line + QStringLiteral("\r\n"));
}

void Form1BehaviourTest::closingWhileAFolderReadWaitsEndsTheProgram() {
    // The program's window, whose folder reads wait on our end of its standard input: a read
    // that never answers, as on a stalled network mount. It closes its window once one waits.
    QProcess program;
    program.start(QStringLiteral(KESTRANE_CLOSE_WHILE_READING), {});
    QVERIFY(program.waitForStarted());

    const bool ended = program.waitForFinished(30000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QVERIFY2(ended, "the program still ran 30 s after its window closed");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardOutput(), QByteArray{"read waiting; window closed\n"});
}

void Form1BehaviourTest::failedSendShowsItsMessageAndKeepsTheValues_data() {
    QTest::addColumn<QString>("relativePath"); // inside a fresh folder
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("auxPrice");
    QTest::newRow("folder missing")
        << QStringLiteral("missing/Entries.txt")
        << QStringLiteral("Make sure the path you specified is correct!")
        << int(QMessageBox::Warning) << QStringLiteral("0");
    QTest::newRow("path names a folder")
        << QString{}
        << QStringLiteral(
               "Error 75 (Path/File access error) in procedure Command1_Click of Form Form1")
        << int(QMessageBox::NoIcon) << QStringLiteral("0");
    // The path field holds the whole name, and the name is refused, not a shorter one tried.
    QTest::newRow("name of 4,000 characters")
        << QString(4'000, u'x')
        << QStringLiteral(
               "Error 52 (Bad file name or number) in procedure Command1_Click of Form Form1")
        << int(QMessageBox::NoIcon) << QStringLiteral("0");
    // Half a surrogate pair, as broken text can leave it, is refused, never sent as '?'.
    const QString loneSurrogate{QChar{0xD800}};
    QTest::newRow("lone surrogate in the name")
        << QStringLiteral("Entries") + loneSurrogate + QStringLiteral(".txt")
        << QStringLiteral(
               "Error 52 (Bad file name or number) in procedure Command1_Click of Form Form1")
        << int(QMessageBox::NoIcon) << QStringLiteral("0");
    QTest::newRow("lone surrogate in Aux Price")
        << QStringLiteral("Entries.txt")
        << QStringLiteral("Error 5 (The signal file's code page cannot hold the character "
                          "U+D800) in procedure Command1_Click of Form Form1")
        << int(QMessageBox::NoIcon) << QStringLiteral("1") + loneSurrogate;
}

void Form1BehaviourTest::failedSendShowsItsMessageAndKeepsTheValues() {
    QFETCH(QString, relativePath);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(QString, auxPrice);
    const TempDir folder;
    const QString path = qs(utf8(folder.path())) + QLatin1Char('/') + relativePath;
    const auto form = showForm();
    control<QLineEdit>(*form, QStringLiteral("Text6"))->setText(path);
    control<QComboBox>(*form, QStringLiteral("cmbSide"))->setEditText(QStringLiteral("SELL"));
    control<QLineEdit>(*form, QStringLiteral("txtAux"))->setText(auxPrice);
    std::vector<QString> before;
    for (const ControlDesign& design : form1Controls) {
        before.push_back(shownText(control(*form, qs(design.name))));
    }

    const MessageBoxCatcher catcher;
    auto* command1 = control<QPushButton>(*form, QStringLiteral("Command1"));
    QTest::mouseClick(command1, Qt::LeftButton);
    // A second press after a failure runs the whole send again.
    QTest::mouseClick(command1, Qt::LeftButton);
    QCoreApplication::processEvents();

    QCOMPARE(catcher.seen.size(), std::size_t{2});
    for (const MessageBoxCatcher::Seen& box : catcher.seen) {
        QCOMPARE(box.text, text);
        QCOMPARE(box.caption, QStringLiteral("Kestrane_Simulator"));
        QCOMPARE(int(box.icon), icon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons{QMessageBox::Ok});
        QCOMPARE(box.parent, form.get());
        // Modal to the program: a window-modal box has no title bar under Wayland.
        QCOMPARE(box.modality, Qt::ApplicationModal);
        QVERIFY(box.wasActiveModal);
    }
    QCOMPARE(control<QLineEdit>(*form, QStringLiteral("Text6"))->text(), path);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(folder.entries().empty());
    for (std::size_t i = 0; i < form1Controls.size(); ++i) {
        const QString name = qs(form1Controls[i].name);
        const QString expected = name == QLatin1String("txtTimeStamp") ? sendStamp : before[i];
        QCOMPARE(shownText(control(*form, name)), expected);
    }
    QVERIFY(control<QRadioButton>(*form, QStringLiteral("optYes"))->isChecked());
}

void Form1BehaviourTest::failureMessageStaysUntilAFreshPress_data() {
    QTest::addColumn<int>("key"); // pressed on Command1, and held down while the box appears
    // Its repeats flagged as such, or as an X server without detectable repeats sends them.
    QTest::addColumn<bool>("unflagged");
    QTest::addColumn<int>("freshKey"); // pressed and released on OK afterwards; 0: a click
    // The window manager asks to close the window while the send waits.
    QTest::addColumn<bool>("closeDuringSend");
    QTest::newRow("Return held, then Return")
        << int(Qt::Key_Return) << false << int(Qt::Key_Return) << false;
    QTest::newRow("Return held, X repeats, then a click")
        << int(Qt::Key_Return) << true << 0 << false;
    QTest::newRow("Space held, X repeats, then Space")
        << int(Qt::Key_Space) << true << int(Qt::Key_Space) << false;
    QTest::newRow("keypad Enter held, then keypad Enter")
        << int(Qt::Key_Enter) << false << int(Qt::Key_Enter) << false;
    QTest::newRow("Return, closed during the send, then a click")
        << int(Qt::Key_Return) << false << 0 << true;
}

void Form1BehaviourTest::failureMessageStaysUntilAFreshPress() {
    QFETCH(int, key);
    QFETCH(bool, unflagged);
    QFETCH(int, freshKey);
    QFETCH(bool, closeDuringSend);
    const TempDir folder;
    QPushButton* command1 = nullptr;
    int sends = 0;
    const auto form = showForm([&] {
        if (sends++ == 0) {
            queuePressesOn(command1);
            if (closeDuringSend) {
                QWindowSystemInterface::handleCloseEvent(command1->window()->windowHandle());
            }
        }
        return sendTime;
    });
    // The path names a folder: the send fails.
    control<QLineEdit>(*form, QStringLiteral("Text6"))->setText(qs(utf8(folder.path())));
    command1 = control<QPushButton>(*form, QStringLiteral("Command1"));
    command1->setFocus();

    bool focusOnOk = false;
    bool upAfterHeldKey = false;
    bool upAfterFreshPress = true;
    bool formShownWithBox = false;
    const MessageBoxCatcher catcher{[&](QMessageBox& box) {
        QCoreApplication::processEvents(); // the box takes the focus
        formShownWithBox = form->isVisible();
        QWidget* ok = box.button(QMessageBox::Ok);
        focusOnOk = QApplication::focusWidget() == ok;
        // Pressed by other means than the mouse and keys (an accessibility client's press
        // action) while its message is up, Command1 starts no second send.
        if (sends == 1) {
            command1->click();
        }
        holdKey(ok, key, 3, unflagged); // the key that sent, still down
        upAfterHeldKey = box.isVisible();
        if (freshKey == 0) {
            QTest::mouseClick(ok, Qt::LeftButton);
        } else {
            sendKeyAt(ok, QEvent::KeyPress, freshKey, 3000);
            sendKeyAt(ok, QEvent::KeyRelease, freshKey, 3100);
        }
        upAfterFreshPress = box.isVisible();
        if (box.isVisible()) {
            box.reject(); // so that a box that stays fails the test instead of waiting
        }
    }};
    sendKeyAt(command1, QEvent::KeyPress, key, 1000);
    QCoreApplication::processEvents();

    QVERIFY(focusOnOk);
    QVERIFY(upAfterHeldKey);
    QVERIFY(!upAfterFreshPress);
    QCOMPARE(sends, 1);
    QCOMPARE(catcher.seen.size(), std::size_t{1});
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    // A close asked for during the send comes after its message, and is not lost.
    QVERIFY(formShownWithBox);
    QCOMPARE(form->isVisible(), !closeDuringSend);
}

QTEST_MAIN(Form1BehaviourTest)
#include "form1_behaviour_test.moc"
