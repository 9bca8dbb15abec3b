#include "form1.h"

#include "titled_frame.h"
#include "utf16/utf16.h"
#include "window/form_design.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QToolTip>
#include <QValidator>
#include <cstdint>
#include <utility>

namespace kestrane::window::qt {

namespace {

// Layout is designed at 96 DPI in twips; Qt scales device-independent pixels to the screen.
constexpr int designDpi = 96;

// The size of the form's font in device-independent pixels, so it scales with the layout.
// At this size every caption, initial text and list entry fits its designed box in the
// platform's default family, even a wide one such as DejaVu Sans (the combo boxes, whose
// drop-down buttons leave the least room, decide it).
constexpr int fontPixelSize = 9;

int toPixels(int twips) {
    return twipsToPixels(twips, designDpi);
}

QRect toPixels(const TwipsRect& bounds) {
    return {toPixels(bounds.left), toPixels(bounds.top), toPixels(bounds.width),
            toPixels(bounds.height)};
}

QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's 32 x 32 icon as pixels compiled in. Reading it from an image file, even as PNG
// with format detection off, makes Qt look through every image format plugin first.
constexpr int programIconSize = 32;
constexpr std::uint32_t programIconPixels[programIconSize * programIconSize] = {
#include "kestrane-signal-simulator-32.inc"
};

QIcon programIcon() {
    const QImage image{reinterpret_cast<const uchar*>(programIconPixels), programIconSize,
                       programIconSize, QImage::Format_ARGB32};
    return QIcon{QPixmap::fromImage(image)};
}

// A field's text in UTF-8, the text of the core. Half a surrogate pair, which toStdString
// would write as '?' (another file's name, another character in the line), becomes the three
// bytes of its code point, which the send refuses by name.
std::string utf8Of(const QString& text) {
    return utf16::toUtf8(std::u16string_view{reinterpret_cast<const char16_t*>(text.utf16()),
                                             static_cast<std::size_t>(text.size())});
}

// Refuses, whole, an edit that would make a field longer than longestFieldText: the field
// keeps what it held, so a line never carries less than the field shows, and the user hears a
// beep and reads why under the field. The field's own maximum length is one more than that,
// so a paste of any size costs no more than one of that many characters before it is undone.
class LengthLimit final : public QValidator {
public:
    explicit LengthLimit(QLineEdit* field) : QValidator{field}, field_{field} {
        field->setMaxLength(longestFieldText + 1);
        field->setValidator(this);
    }

    State validate(QString& input, int& /*position*/) const override {
        if (input.size() <= longestFieldText) {
            return Acceptable;
        }
        // Told once the field has undone the edit.
        QMetaObject::invokeMethod(
            field_,
            [field = field_] {
                QApplication::beep();
                QToolTip::showText(field->mapToGlobal(QPoint{0, field->height()}),
                                   toQString(fieldFullText), field);
            },
            Qt::QueuedConnection);
        return Invalid;
    }

private:
    QLineEdit* field_;
};

QWidget* createControl(const ControlDesign& design, QWidget* parent) {
    const QString text = toQString(design.text);
    switch (design.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel{text, parent};
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox{parent};
        combo->setEditable(true);
        // The edit text is sent as typed: no completion that turns "ca" into "cancel" or "buy"
        // into "BUY", and Enter does not add the typed text to the list.
        combo->setCompleter(nullptr);
        combo->setInsertPolicy(QComboBox::NoInsert);
        new LengthLimit{combo->lineEdit()};
        for (const std::string_view entry : design.listEntries) {
            combo->addItem(toQString(entry));
        }
        combo->setEditText(text);
        return combo;
    }
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit{text, parent};
        new LengthLimit{edit};
        // Read-only, yet still in the tab order so the stamp can be selected and copied.
        edit->setReadOnly(design.readOnly);
        return edit;
    }
    case ControlKind::Frame:
        return new TitledFrame{text, parent};
    case ControlKind::OptionButton: {
        auto* option = new QRadioButton{text, parent};
        // The group is one tab stop: only its selected button takes the focus by Tab; the
        // arrow keys move within the group.
        const auto tabStopWhenSelected = [option](bool selected) {
            option->setFocusPolicy(selected ? Qt::StrongFocus : Qt::ClickFocus);
        };
        option->setChecked(design.initiallySelected);
        tabStopWhenSelected(design.initiallySelected);
        QObject::connect(option, &QRadioButton::toggled, option, tabStopWhenSelected);
        return option;
    }
    case ControlKind::PushButton: {
        auto* button = new QPushButton{text, parent};
        // Outside a dialog a push button ignores Enter unless it is an auto-default button.
        button->setAutoDefault(true);
        return button;
    }
    }
    return nullptr;
}

// An option button's designed height (13 pixels) is less than the style's circle and its
// margins ask for, and the circle's bottom would be cut off, at high scales visibly. The button
// grows to the height it asks for, about the middle of its designed place.
QRect tallEnoughForItsCircle(const QRect& designed, const QWidget& option) {
    const int missing = option.sizeHint().height() - designed.height();
    if (missing <= 0) {
        return designed;
    }
    return designed.adjusted(0, -missing / 2, 0, missing - missing / 2);
}

} // namespace

Form1::Form1(signal::LocalClock clock, FolderReader readFolder, QWidget* parent)
    : QWidget{parent}, clock_{std::move(clock)} {
    setObjectName(toQString(formName));
    setWindowTitle(toQString(formCaption));
    setWindowIcon(programIcon());
    setFixedSize(toPixels(formClientWidthTwips), toPixels(formClientHeightTwips));
    // The form's places are designed left to right; on a right-to-left desktop (-reverse) its
    // controls would keep their places but mirror their insides, putting the "Yes" circle
    // between "Yes" and "No". The message boxes, windows of their own, follow the desktop.
    setLayoutDirection(Qt::LeftToRight);

    QFont formFont = font();
    formFont.setPixelSize(fontPixelSize);
    setFont(formFont);

    createControls();
    chainTabOrder();

    command1_ = controlAs<QPushButton>(ControlId::Command1);
    Text6_ = controlAs<QLineEdit>(ControlId::Text6);
    // The path is typed at every start, so a list suggests what lies under what is typed; the
    // field keeps the typed text until a suggestion is picked. The file system is first read
    // when the path is first edited, not while the window starts.
    new PathSuggestions{*Text6_, std::move(readFolder), this};
    txtTimeStamp_ = controlAs<QLineEdit>(ControlId::txtTimeStamp);
    optYes_ = controlAs<QRadioButton>(ControlId::optYes);
    connect(command1_, &QPushButton::clicked, this, &Form1::onCommand1Clicked);
    command1_->installEventFilter(this);
    command1_->setFocus();
}

// One press of Command1 is one send, whatever the keyboard does and however long a send takes;
// a message box goes only by a press made while it is up.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (watched != command1_) {
        if (isKey && messageBox_ != nullptr) {
            return filterMessageBoxKey(*static_cast<const QKeyEvent*>(event));
        }
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return filterCommand1Key(*static_cast<const QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // Made while a send was in progress: dropped, as by a button disabled meanwhile.
        return sending_;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// Qt flags the repeats of a held key it recognises; an X server that does not detect repeats
// (Xvfb, VNC servers) sends each as a release and a press with the same time, of which Qt flags
// only some. Synthetic events carry no time (0) and are never taken for repeats.
bool Form1::isRepeat(const QKeyEvent& key) const {
    return key.isAutoRepeat() || (key.timestamp() != 0 && key.key() == lastReleasedKey_ &&
                                  key.timestamp() == lastReleaseTime_);
}

// Return, Enter and Space click the button on their press; a held key repeats its press, and
// only the first one counts. Space would click on each release of an X server's repeats, so its
// releases never click; the press has.
bool Form1::filterCommand1Key(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter && key.key() != Qt::Key_Space) {
        return false;
    }
    if (key.type() == QEvent::KeyRelease) {
        lastReleasedKey_ = key.key();
        lastReleaseTime_ = key.timestamp();
        return true;
    }
    if (!isRepeat(key) && !sending_) {
        command1_->click();
    }
    return true;
}

// A key already down when the box appeared (the Return that sent, held) keeps repeating its
// press and is released at last; neither may press OK. A press of a key begun while the box is
// up, and that key's release, reach the box.
bool Form1::filterMessageBoxKey(const QKeyEvent& key) {
    const bool pressedHere = keysPressedInMessageBox_.contains(key.key());
    if (key.type() == QEvent::KeyRelease) {
        lastReleasedKey_ = key.key();
        lastReleaseTime_ = key.timestamp();
        return !pressedHere;
    }
    if (isRepeat(key)) {
        return true;
    }
    if (!pressedHere) {
        keysPressedInMessageBox_.append(key.key());
    }
    return false;
}

template <typename Control>
Control* Form1::controlAs(ControlId id) const {
    auto* control = qobject_cast<Control*>(controls_[indexOf(id)]);
    Q_ASSERT(control != nullptr);
    return control;
}

void Form1::createControls() {
    // Containers come before what they hold, so a control's parent always exists already.
    for (const ControlDesign& design : form1Controls) {
        QWidget* parent = design.container ? controls_[indexOf(*design.container)] : this;
        QWidget* control = createControl(design, parent);
        control->setObjectName(toQString(design.name));
        control->setGeometry(toPixels(design.bounds));
        if (design.kind == ControlKind::OptionButton) {
            control->setGeometry(tallEnoughForItsCircle(control->geometry(), *control));
        }
        controls_[indexOf(design.id)] = control;
    }
    // A label names its field for screen readers once it is the field's buddy.
    for (const ControlDesign& design : form1Controls) {
        if (design.labelFor) {
            controlAs<QLabel>(design.id)->setBuddy(controls_[indexOf(*design.labelFor)]);
        }
    }
}

void Form1::chainTabOrder() {
    // Every control that takes the focus, by tab index, so the option buttons of one frame
    // follow each other in the chain; Tab skips all but the selected one, as they are not tab
    // stops otherwise.
    QList<QWidget*> chain;
    for (const ControlId id : tabIndexOrder()) {
        if (takesFocus(designOf(id).kind)) {
            chain.append(controls_[indexOf(id)]);
        }
    }
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
}

std::string Form1::controlText(std::string_view name) const {
    const QWidget* field = controls_[indexOf(textFieldNamed(name))];
    if (const auto* combo = qobject_cast<const QComboBox*>(field)) {
        return utf8Of(combo->currentText());
    }
    return utf8Of(static_cast<const QLineEdit*>(field)->text());
}

void Form1::setTimeStampText(const std::string& text) {
    txtTimeStamp_->setText(QString::fromStdString(text));
}

bool Form1::isTagSelected() const {
    return optYes_->isChecked();
}

void Form1::showMessage(const std::string& text, signal::MessageIcon icon,
                        const std::string& caption) {
    const QMessageBox::Icon boxIcon =
        icon == signal::MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
    QMessageBox box{boxIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, this};
    // Failure texts are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    // Modal to the whole program, not to the window: under Wayland a window-modal box becomes
    // a surface without a title bar, so without its caption and close button.
    box.setWindowModality(Qt::ApplicationModal);
    // What the user did while the send waited comes in now, before the box makes the window
    // refuse it: presses of Command1 are dropped, a close is kept for the send's end.
    QGuiApplication::sync();
    // Key events reach the box's focused button first, then the box.
    const QScopedValueRollback<QWidget*> shown{messageBox_, &box};
    keysPressedInMessageBox_.clear();
    box.installEventFilter(this);
    for (QWidget* child : box.findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    box.exec();
}

void Form1::onCommand1Clicked() {
    if (sending_) {
        return;
    }
    {
        const QScopedValueRollback<bool> sending{sending_, true};
        signal::Command1_Click(*this, clock_);
        // Presses made while the send waited (on a slow or frozen file system) are still
        // queued: fetch everything the display has sent so far and deliver it now, while it is
        // dropped.
        QGuiApplication::sync();
    }
    if (std::exchange(closeWhenSent_, false)) {
        close();
    }
}

// A close asked for while a send is under way (from the window manager, while the send waits
// for the append lock) takes effect once the send and its message are done, so a failure is
// still seen first.
void Form1::closeEvent(QCloseEvent* event) {
    if (sending_) {
        closeWhenSent_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace kestrane::window::qt
