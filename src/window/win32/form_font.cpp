#include "form_font.h"

#include "dpi.h"
#include "utf16/utf16.h"
#include "window/form_design.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane::window::win32 {
namespace {

// The width a control leaves for its caption or text beside its own decoration.
int textRoom(const ControlDesign& control, UINT dpi) {
    const int width = twipsToPixels(control.bounds.width, static_cast<int>(dpi));
    const int margin = scaledFrom96Dpi(4, dpi);
    switch (control.kind) {
    case ControlKind::Label:
        return width;
    case ControlKind::OptionButton:
        return width - systemMetric(SM_CXMENUCHECK, dpi) - margin;
    case ControlKind::ComboBox: // borders, the edit field's margins and the drop-down button
        return width - systemMetric(SM_CXVSCROLL, dpi) - 4 * margin;
    case ControlKind::TextBox:
    case ControlKind::Frame:
    case ControlKind::PushButton:
        return width - 4 * margin;
    }
    return width;
}

// Whether every designed text fits its control in `font`: the widths everywhere, and the
// heights of the labels, whose boxes are the font's line.
bool allTextsFit(HDC dc, HFONT font, UINT dpi) {
    const HGDIOBJ previous = ::SelectObject(dc, font);
    bool fit = true;
    for (const ControlDesign& control : form1Controls) {
        const int room = textRoom(control, dpi);
        for (const std::string_view text : textsOf(control.id)) {
            const std::wstring wide = utf16::toWide(text);
            SIZE size{};
            ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            fit = fit && size.cx <= room;
            if (control.kind == ControlKind::Label) {
                fit = fit && size.cy <= twipsToPixels(control.bounds.height, static_cast<int>(dpi));
            }
        }
    }
    ::SelectObject(dc, previous);
    return fit;
}

} // namespace

Font createFormFont(UINT dpi) {
    LOGFONTW design = messageFont(dpi);
    const int smallest = scaledFrom96Dpi(8, dpi);
    const HDC dc = ::GetDC(nullptr);
    Font font;
    for (int height = std::max(static_cast<int>(std::abs(design.lfHeight)), smallest);
         height >= smallest; --height) {
        design.lfHeight = -height;
        font = Font{::CreateFontIndirectW(&design)};
        if (!font.isOpen() || allTextsFit(dc, font.get(), dpi)) {
            break;
        }
    }
    ::ReleaseDC(nullptr, dc);
    // Deleting a stock object does nothing, so the font may own it like any other.
    return font.isOpen() ? std::move(font)
                         : Font{static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT))};
}

} // namespace kestrane::window::win32
