// The one font of the form: the platform's dialog font, made smaller where a designed text
// would not fit its control.
#pragma once

#include <utility>
#include <windows.h>

namespace kestrane::window::win32 {

// Owns one font handle and deletes it at the end.
class Font {
public:
    Font() = default;
    explicit Font(HFONT font) : font_{font} {}
    ~Font() { reset(); }
    Font(const Font&) = delete;
    Font& operator=(Font&& other) noexcept {
        reset();
        font_ = other.release();
        return *this;
    }
    HFONT get() const { return font_; }
    HFONT release() { return std::exchange(font_, nullptr); }
    void reset() {
        if (font_) {
            ::DeleteObject(font_);
            font_ = nullptr;
        }
    }

private:
    HFONT font_ = nullptr;
};

// The platform's dialog font at `dpi`, made smaller only as far as needed for every designed
// text to fit its control, and never smaller than 8 pixels at 96 DPI: a smaller message font
// is raised to that. Where the system cannot make the font, its stock dialog font. `window`
// gives the device context the texts are measured in.
HFONT createFormFont(HWND window, UINT dpi);

} // namespace kestrane::window::win32
