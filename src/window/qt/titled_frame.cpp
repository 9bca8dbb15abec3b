#include "titled_frame.h"

#include <QPainter>
#include <QStyle>

namespace kestrane::window::qt {
namespace {

// One 45-degree half of a rounded corner of the frame's line, as a one-pixel pen with square
// caps draws it; each corner is two such halves.
void drawCornerHalf(QPainter& painter, QPointF corner, int startDegrees, int spanDegrees) {
    constexpr qreal diameter = 2 * TitledFrame::cornerRadius - 1;
    painter.drawArc(QRectF{corner, QSizeF{diameter, diameter}}, startDegrees * 16,
                    spanDegrees * 16);
}

} // namespace

QRect TitledFrame::titleRect() const {
    // Room for the title and one space, the title centred in it, as Qt's common style measures
    // a frame's title.
    const int width = fontMetrics().size(Qt::TextShowMnemonic, title() + QLatin1Char(' ')).width();
    return {titleLeft + titlePadding, 0, width, fontMetrics().height()};
}

void TitledFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter{this};
    const QRect label = titleRect();

    // The line: a rounded rectangle of one pixel from the middle of the title down, left open
    // where the title and its padding sit.
    const QRect gap = label.adjusted(-titlePadding, 0, titlePadding, 0);
    painter.setClipRegion(QRegion{rect()} - gap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QBrush line = palette().brush(QPalette::Mid);
    const int titleMiddle = fontMetrics().height() / 2;
    const QRectF box{QRect{0, titleMiddle, width(), height() - titleMiddle}};
    const qreal r = cornerRadius;
    painter.setPen(Qt::NoPen);
    painter.setBrush(line);
    painter.drawRect(QRectF{box.left() + r, box.bottom() - 1, box.width() - 2 * r, 1});
    painter.drawRect(QRectF{box.right() - 1, box.top() + r, 1, box.height() - 2 * r});
    painter.drawRect(QRectF{box.left(), box.top() + r, 1, box.height() - 2 * r});
    painter.drawRect(QRectF{box.left() + r, box.top(), box.width() - 2 * r, 1});
    painter.setPen(QPen{line, 1, Qt::SolidLine, Qt::SquareCap});
    painter.setBrush(Qt::NoBrush);
    const qreal nearEdge = 0.5;
    const qreal farEdge = 2 * r - nearEdge;
    const QPointF topLeft = box.topLeft() + QPointF{nearEdge, nearEdge};
    const QPointF topRight{box.right() - farEdge, box.top() + nearEdge};
    const QPointF bottomLeft{box.left() + nearEdge, box.bottom() - farEdge};
    const QPointF bottomRight{box.right() - farEdge, box.bottom() - farEdge};
    drawCornerHalf(painter, topLeft, 90, 45);
    drawCornerHalf(painter, topLeft, 135, 45);
    drawCornerHalf(painter, topRight, 0, 45);
    drawCornerHalf(painter, topRight, 45, 45);
    drawCornerHalf(painter, bottomLeft, 180, 45);
    drawCornerHalf(painter, bottomLeft, 225, 45);
    drawCornerHalf(painter, bottomRight, 270, 45);
    drawCornerHalf(painter, bottomRight, 315, 45);

    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, false);
    int alignment = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, this) == 0) {
        alignment |= Qt::TextHideMnemonic;
    }
    style()->drawItemText(&painter, label, alignment, palette(), isEnabled(), title(),
                          QPalette::WindowText);
}

} // namespace kestrane::window::qt
