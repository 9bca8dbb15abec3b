// The one font of the form: the platform's dialog font, made smaller where a designed text
// would not fit its control.
#pragma once

#include "system/unique_handle.h"

#include <windows.h>

namespace kestrane::window::win32 {

struct FontTraits {
    using Type = HFONT;
    static HFONT invalid() { return nullptr; }
    static void close(HFONT font) { ::DeleteObject(font); }
};
// Owns one font handle and deletes it at the end.
using Font = UniqueHandle<FontTraits>;

// The platform's dialog font at `dpi`, made smaller only as far as needed for every designed
// text to fit its control, and never smaller than 8 pixels at 96 DPI: a smaller message font
// is raised to that. Where the system cannot make the font, its stock dialog font. The texts
// are measured on the screen, so the font is known before any window is made.
Font createFormFont(UINT dpi);

} // namespace kestrane::window::win32
