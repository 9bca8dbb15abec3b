#include "form1.h"

#include "window/form_design.h"

#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <utility>

// The icon lives in this static library; a static library has to register its resources itself.
static void registerWindowResources() {
    Q_INIT_RESOURCE(qt_window);
}

namespace kestrane::window::qt {

namespace {

// Layout is designed at 96 DPI in twips; Qt scales device-independent pixels to the screen.
constexpr int designDpi = 96;

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

// The program's icon, read as the PNG it is. Loading it by file name (QIcon's own loading) first
// asks every image format plugin whether it can read the data, which loads the GIF, ICO and
// JPEG decoders and their libraries into every start of a program that shows only this PNG.
QIcon programIcon() {
    QImageReader reader{QStringLiteral(":/icons/kestrane-signal-simulator-32.png"), "png"};
    reader.setAutoDetectImageFormat(false);
    return QIcon{QPixmap::fromImage(reader.read())};
}

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
        for (const std::string_view entry : design.listEntries) {
            combo->addItem(toQString(entry));
        }
        combo->setEditText(text);
        return combo;
    }
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit{text, parent};
        // Read-only, yet still in the tab order so the stamp can be selected and copied.
        edit->setReadOnly(design.readOnly);
        return edit;
    }
    case ControlKind::Frame:
        return new QGroupBox{text, parent};
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

// Draws the frame's title on its top line, as designed: the option buttons sit just below the
// title, where some styles would otherwise draw the top line across them. Set once the frame's
// buttons exist: buttons created under a styled frame lose the form's font.
void putTitleOnTopLine(QGroupBox* frame) {
    const int titleMiddle = frame->fontMetrics().height() / 2;
    frame->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid);"
                                        " border-radius: 3px; margin-top: %1px; }"
                                        "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                                        " padding: 0px 2px; }")
                             .arg(titleMiddle));
}

} // namespace

Form1::Form1(signal::LocalClock clock, QWidget* parent)
    : QWidget{parent}, clock_{std::move(clock)} {
    registerWindowResources();
    setObjectName(toQString(formName));
    setWindowTitle(toQString(formCaption));
    setWindowIcon(programIcon());
    setFixedSize(toPixels(formClientWidthTwips), toPixels(formClientHeightTwips));

    QFont formFont = font();
    formFont.setPixelSize(fontPixelSize);
    setFont(formFont);

    createControls();
    chainTabOrder();

    command1_ = findChild<QPushButton*>(QStringLiteral("Command1"));
    txtTimeStamp_ = findChild<QLineEdit*>(QStringLiteral("txtTimeStamp"));
    optYes_ = findChild<QRadioButton*>(QStringLiteral("optYes"));
    connect(command1_, &QPushButton::clicked, this, &Form1::onCommand1Clicked);
    command1_->installEventFilter(this);
    command1_->setFocus();
}

// A held Enter or Return repeats its key press, and the button would send once per repeat:
// one press of a key is one send, as with Space and the mouse.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == command1_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::createControls() {
    for (const ControlDesign& design : form1Controls) {
        QWidget* parent = this;
        if (design.container) {
            parent = findChild<QWidget*>(toQString(designOf(*design.container).name));
        }
        QWidget* control = createControl(design, parent);
        control->setObjectName(toQString(design.name));
        control->setGeometry(toPixels(design.bounds));
    }
    for (QGroupBox* frame : findChildren<QGroupBox*>()) {
        putTitleOnTopLine(frame);
    }
    // A label names its field for screen readers once it is the field's buddy.
    for (const ControlDesign& design : form1Controls) {
        if (!design.labelFor) {
            continue;
        }
        auto* label = findChild<QLabel*>(toQString(design.name));
        label->setBuddy(findChild<QWidget*>(toQString(designOf(*design.labelFor).name)));
    }
}

void Form1::chainTabOrder() {
    // The option buttons of one frame follow each other in the chain; Tab skips all but the
    // selected one, as they are not tab stops otherwise.
    QList<QWidget*> chain;
    for (const std::string_view name : tabOrder()) {
        auto* control = findChild<QWidget*>(toQString(name));
        if (qobject_cast<QRadioButton*>(control) != nullptr) {
            for (QObject* sibling : control->parentWidget()->children()) {
                if (auto* option = qobject_cast<QRadioButton*>(sibling)) {
                    chain.append(option);
                }
            }
            continue;
        }
        chain.append(control);
    }
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
}

std::string Form1::controlText(std::string_view controlName) const {
    const QWidget* control = findChild<QWidget*>(toQString(controlName));
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return combo->currentText().toStdString();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text().toStdString();
    }
    return {};
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
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

void Form1::onCommand1Clicked() {
    signal::Command1_Click(*this, clock_);
}

} // namespace kestrane::window::qt
