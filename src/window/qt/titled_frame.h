// The option buttons' frame of the Qt window, its title drawn on its top line.
#pragma once

#include <QGroupBox>

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

} // namespace kestrane::window::qt
