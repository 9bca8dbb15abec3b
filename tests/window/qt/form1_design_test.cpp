// The Qt window against its design table: caption, size and icon, every control's kind, place,
// texts and tab stop, texts that fit, labels that name their fields, the focus order.
#include "form1_testing.h"
#include "support/designed_pixels.h"
#include "window/qt/start.h"
#include "window/qt/titled_frame.h"

#include <QAccessible>
#include <QColorSpace>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <algorithm>
#include <cmath>

using kestrane::window::ControlId;
using kestrane::window::qt::TitledFrame;

namespace {

// The room Qt's Fusion style leaves for each control's text at 96 DPI, in the control's own
// coordinates, written down from the window as designed.
QRect textRoom(const QString& name) {
    static const QHash<QString, QRect> rooms{
        {QStringLiteral("Label1"), {0, 0, 65, 17}},
        {QStringLiteral("Label2"), {0, 0, 41, 17}},
        {QStringLiteral("Label3"), {0, 0, 57, 17}},
        {QStringLiteral("Label4"), {0, 0, 65, 17}},
        {QStringLiteral("Label5"), {0, 0, 57, 17}},
        {QStringLiteral("Label6"), {0, 0, 57, 17}},
        {QStringLiteral("Label7"), {0, 0, 145, 17}},
        {QStringLiteral("Label8"), {0, 0, 57, 17}},
        {QStringLiteral("Label9"), {0, 0, 201, 17}},
        {QStringLiteral("cmbProc"), {4, 2, 38, 17}},
        {QStringLiteral("cmbSide"), {4, 2, 22, 17}},
        {QStringLiteral("txtContno"), {3, 1, 51, 17}},
        {QStringLiteral("cmbType"), {4, 2, 38, 17}},
        {QStringLiteral("txtLmt"), {3, 1, 51, 17}},
        {QStringLiteral("txtAux"), {3, 1, 59, 17}},
        {QStringLiteral("txtTimeStamp"), {3, 1, 139, 17}},
        {QStringLiteral("cmbEntryExit"), {4, 2, 30, 17}},
        {QStringLiteral("Text6"), {3, 1, 307, 23}},
        {QStringLiteral("Frame1"), {8, 0, 65, 10}},
        {QStringLiteral("optYes"), {20, 0, 29, 17}},
        {QStringLiteral("optNo"), {20, 0, 21, 17}},
        {QStringLiteral("Command1"), {1, 1, 119, 31}},
    };
    return rooms.value(name);
}

} // namespace

class Form1DesignTest : public QObject {
    Q_OBJECT

private slots:
    void windowHasItsDesignedCaptionSizeAndIcon();
    void controlsMatchTheDesign_data();
    void controlsMatchTheDesign();
    void designedTextsFitTheirBoxes_data();
    void designedTextsFitTheirBoxes();
    void labelsNameTheirFieldsForScreenReaders();
    void focusStartsOnCommand1AndTabFollowsTheDesign_data();
    void focusStartsOnCommand1AndTabFollowsTheDesign();
};

void Form1DesignTest::windowHasItsDesignedCaptionSizeAndIcon() {
    const auto form = kestrane::window::qt::startSignalSimulator([] { return sendTime; });
    QVERIFY(form->isVisible());
    QCOMPARE(form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Kestrane Signal Simulator"));
    // 9345 x 1440 twips at 15 twips a pixel, and fixed: the window cannot be resized.
    QCOMPARE(form->size(), QSize(623, 96));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    // The compiled-in icon shows the icon file's picture, pixel for pixel (the file's colour
    // space tag aside).
    QVERIFY(form->windowIcon().availableSizes().contains(QSize(32, 32)));
    const auto pixels = [](const QImage& image) {
        QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        converted.setColorSpace({});
        return converted;
    };
    QCOMPARE(pixels(form->windowIcon().pixmap(32, 32).toImage()),
             pixels(QImage{QStringLiteral(KESTRANE_ICON_PNG)}));
    QVERIFY(!QApplication::windowIcon().isNull());
}

void Form1DesignTest::controlsMatchTheDesign_data() {
    QTest::addColumn<QString>("name");
    // On a right-to-left desktop (-reverse) too: the designed form stays left to right whole.
    QTest::addColumn<bool>("rightToLeftDesktop");
    for (const bool rightToLeft : {false, true}) {
        for (const ControlDesign& design : form1Controls) {
            const QString row =
                rightToLeft ? qs(design.name) + QStringLiteral(", right to left") : qs(design.name);
            QTest::newRow(qPrintable(row)) << qs(design.name) << rightToLeft;
        }
    }
}

void Form1DesignTest::controlsMatchTheDesign() {
    QFETCH(QString, name);
    QFETCH(bool, rightToLeftDesktop);
    const ControlDesign& design = *findControl(name.toStdString());
    QGuiApplication::setLayoutDirection(rightToLeftDesktop ? Qt::RightToLeft : Qt::LeftToRight);
    const auto leftToRightAgain =
        qScopeGuard([] { QGuiApplication::setLayoutDirection(Qt::LeftToRight); });
    const auto form = showForm();
    QWidget* widget = control(*form, name);
    QVERIFY(widget != nullptr);
    QVERIFY(widget->isLeftToRight());

    const QString container =
        design.container ? qs(designOf(*design.container).name) : qs(kestrane::window::formName);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    const auto& pixels = kestrane::testing::designedPixels(design.name);
    const QRect designed{pixels.left, pixels.top, pixels.width, pixels.height};
    if (design.kind != ControlKind::OptionButton) {
        QCOMPARE(widget->geometry(), designed);
    } else if (widget->devicePixelRatioF() == 1.0) {
        // 17 pixels high at 96 DPI, about the middle of their designed 13.
        const QRect expected =
            name == QStringLiteral("optYes") ? QRect{56, 14, 49, 17} : QRect{104, 14, 41, 17};
        QCOMPARE(widget->geometry(), expected);
    } else {
        // On a high-DPI screen as tall as the circle needs (see below), about the designed
        // middle, 22.5 pixels down the frame.
        QCOMPARE(widget->x(), designed.x());
        QCOMPARE(widget->width(), designed.width());
        const double middle = widget->y() + widget->height() / 2.0;
        QVERIFY2(std::abs(middle - 22.5) <= 1.0,
                 qPrintable(QStringLiteral("middle at %1").arg(middle)));
    }
    QVERIFY(widget->isEnabled());
    // Labels and the frame never take the focus; of the option group only the selected button.
    const QStringList tabStops{
        QStringLiteral("cmbProc"),      QStringLiteral("cmbSide"),      QStringLiteral("txtContno"),
        QStringLiteral("cmbType"),      QStringLiteral("txtLmt"),       QStringLiteral("txtAux"),
        QStringLiteral("txtTimeStamp"), QStringLiteral("cmbEntryExit"), QStringLiteral("Text6"),
        QStringLiteral("optYes"),       QStringLiteral("Command1"),
    };
    QCOMPARE(bool(widget->focusPolicy() & Qt::TabFocus), tabStops.contains(name));

    const QString text = qs(design.text);
    switch (design.kind) {
    case ControlKind::Label:
        QVERIFY(qobject_cast<QLabel*>(widget) != nullptr);
        QCOMPARE(qobject_cast<QLabel*>(widget)->text(), text);
        break;
    case ControlKind::ComboBox: {
        auto* combo = qobject_cast<QComboBox*>(widget);
        QVERIFY(combo != nullptr);
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->currentText(), text);
        QStringList entries;
        for (const std::string_view entry : design.listEntries) {
            entries << qs(entry);
        }
        QStringList shownEntries;
        for (int i = 0; i < combo->count(); ++i) {
            shownEntries << combo->itemText(i);
        }
        QCOMPARE(shownEntries, entries);
        // The arrow stands at the right.
        QStyleOptionComboBox options;
        options.initFrom(combo);
        options.editable = true;
        options.subControls = QStyle::SC_All;
        const QRect arrow = combo->style()->subControlRect(QStyle::CC_ComboBox, &options,
                                                           QStyle::SC_ComboBoxArrow, combo);
        QVERIFY(arrow.left() > combo->width() / 2);
        break;
    }
    case ControlKind::TextBox: {
        auto* edit = qobject_cast<QLineEdit*>(widget);
        QVERIFY(edit != nullptr);
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->isReadOnly(), design.readOnly);
        break;
    }
    case ControlKind::Frame: {
        auto* frame = dynamic_cast<TitledFrame*>(widget);
        QVERIFY(frame != nullptr);
        QCOMPARE(frame->title(), text);
        // The title (x 8 to 72 at 96 DPI) sits on the top line, which stops short of it: the
        // line runs 5 pixels down past the title and down the sides, and the room before the
        // title is free of it.
        const QImage image = frame->grab().toImage();
        const QRgb line = frame->palette().color(QPalette::Mid).rgb();
        QCOMPARE(image.pixel(78, 5), line);
        QCOMPARE(image.pixel(0, 25), line);
        QCOMPARE(image.pixel(152, 25), line);
        QVERIFY(image.pixel(7, 5) != line);
        break;
    }
    case ControlKind::OptionButton: {
        auto* option = qobject_cast<QRadioButton*>(widget);
        QVERIFY(option != nullptr);
        QCOMPARE(option->text(), text);
        QCOMPARE(option->isChecked(), design.initiallySelected);
        QVERIFY(option->autoExclusive());
        // The circle stands before the caption, at the left.
        QStyleOptionButton options;
        options.initFrom(option);
        QVERIFY(option->style()
                    ->subElementRect(QStyle::SE_RadioButtonIndicator, &options, option)
                    .right() < option->width() / 2);
        // Its circle shows whole at every scale: the top and bottom rows of screen pixels hold
        // only the background.
        const QImage image = option->grab().toImage();
        const auto bare = [&image,
                           background = option->palette().color(QPalette::Window).rgb()](int y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != background) {
                    return false;
                }
            }
            return true;
        };
        QVERIFY2(bare(0), "the circle is cut off at the top");
        QVERIFY2(bare(image.height() - 1), "the circle is cut off at the bottom");
        break;
    }
    case ControlKind::PushButton:
        QVERIFY(qobject_cast<QPushButton*>(widget) != nullptr);
        QCOMPARE(qobject_cast<QPushButton*>(widget)->text(), text);
        break;
    }
}

void Form1DesignTest::designedTextsFitTheirBoxes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    for (const ControlDesign& design : form1Controls) {
        const QString name = qs(design.name);
        for (const std::string_view shown : kestrane::window::textsOf(design.id)) {
            // The stamp box starts empty; what it must show is a stamp.
            const QString text = design.id == ControlId::txtTimeStamp ? sendStamp : qs(shown);
            QTest::addRow("%s %s", qPrintable(name), qPrintable(text)) << name << text;
        }
    }
}

void Form1DesignTest::designedTextsFitTheirBoxes() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    const auto form = showForm();
    QWidget* widget = control(*form, name);
    const QRect room = textRoom(name);
    const QFontMetrics metrics = widget->fontMetrics();
    // A line edit also needs one pixel for its cursor after the last character.
    const int cursor = qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget);
    QVERIFY2(widget->rect().contains(room),
             qPrintable(QStringLiteral("text room %1,%2 %3x%4 outside the box")
                            .arg(room.x())
                            .arg(room.y())
                            .arg(room.width())
                            .arg(room.height())));
    QVERIFY2(metrics.horizontalAdvance(text) + cursor <= room.width(),
             qPrintable(QStringLiteral("%1 px wide, room for %2")
                            .arg(metrics.horizontalAdvance(text) + cursor)
                            .arg(room.width())));
    QVERIFY2(
        metrics.height() <= room.height(),
        qPrintable(
            QStringLiteral("%1 px high, room for %2").arg(metrics.height()).arg(room.height())));
}

void Form1DesignTest::labelsNameTheirFieldsForScreenReaders() {
    const auto form = showForm();
    for (const ControlDesign& design : form1Controls) {
        if (!design.labelFor) {
            continue;
        }
        QWidget* field = control(*form, qs(designOf(*design.labelFor).name));
        QCOMPARE(control<QLabel>(*form, qs(design.name))->buddy(), field);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
        QVERIFY(accessible != nullptr);
        QStringList labelNames;
        for (const auto& [label, relation] : accessible->relations(QAccessible::Label)) {
            labelNames << label->text(QAccessible::Name);
        }
        QCOMPARE(labelNames, QStringList{qs(design.text)});
    }
}

void Form1DesignTest::focusStartsOnCommand1AndTabFollowsTheDesign_data() {
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<bool>("noSelected");
    QTest::newRow("Tab") << false << false;
    QTest::newRow("Shift+Tab") << true << false;
    // The option group is one stop: the selected button of it.
    QTest::newRow("Tab with No selected") << false << true;
}

void Form1DesignTest::focusStartsOnCommand1AndTabFollowsTheDesign() {
    QFETCH(bool, backwards);
    QFETCH(bool, noSelected);
    const auto form = showForm();
    QCOMPARE(QApplication::activeWindow(), form.get());
    QCOMPARE(focusedControlName(), QStringLiteral("Command1"));
    if (noSelected) {
        control<QRadioButton>(*form, QStringLiteral("optNo"))->setChecked(true);
    }

    // From the button by the designed tab indices, the option group last.
    QStringList expected{
        QStringLiteral("Command1"),     QStringLiteral("cmbSide"),      QStringLiteral("txtContno"),
        QStringLiteral("cmbType"),      QStringLiteral("txtLmt"),       QStringLiteral("txtAux"),
        QStringLiteral("txtTimeStamp"), QStringLiteral("cmbEntryExit"), QStringLiteral("Text6"),
        QStringLiteral("cmbProc"),      QStringLiteral("optYes"),
    };
    if (noSelected) {
        expected.replaceInStrings(QStringLiteral("optYes"), QStringLiteral("optNo"));
    }
    expected << expected.front(); // and round again to Command1
    if (backwards) {
        std::reverse(expected.begin(), expected.end());
    }

    QStringList visited{focusedControlName()};
    for (qsizetype stop = 1; stop < expected.size(); ++stop) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        visited << focusedControlName();
    }
    QCOMPARE(visited, expected);
}

QTEST_MAIN(Form1DesignTest)
#include "form1_design_test.moc"
