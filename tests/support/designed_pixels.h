// Where each control of the designed window stands at 96 DPI, in pixels, written out by hand
// from the design (15 twips to a pixel; optYes and optNo from the corner of Frame1), so that
// the window tests do not compute their expectations with the product's own conversion.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrane::testing {

struct DesignedPixels {
    std::string_view name;
    int left;
    int top;
    int width;
    int height;
};

inline constexpr std::array<DesignedPixels, 22> designedPixelsAt96Dpi{{
    {"Label1", 8, 8, 65, 17},           {"Label2", 80, 8, 41, 17},
    {"Label3", 136, 8, 57, 17},         {"Label4", 200, 8, 65, 17},
    {"Label5", 272, 8, 57, 17},         {"Label6", 336, 8, 57, 17},
    {"Label7", 408, 8, 145, 17},        {"Label8", 560, 8, 57, 17},
    {"cmbProc", 8, 24, 65, 21},         {"cmbSide", 80, 24, 49, 21},
    {"txtContno", 136, 24, 57, 19},     {"cmbType", 200, 24, 65, 21},
    {"txtLmt", 272, 22, 57, 19},        {"txtAux", 336, 22, 65, 19},
    {"txtTimeStamp", 408, 24, 145, 19}, {"cmbEntryExit", 560, 24, 57, 21},
    {"Label9", 8, 48, 201, 17},         {"Text6", 8, 64, 313, 25},
    {"Frame1", 328, 56, 153, 33},       {"optYes", 56, 16, 49, 13},
    {"optNo", 104, 16, 41, 13},         {"Command1", 488, 56, 121, 33},
}};

inline const DesignedPixels& designedPixels(std::string_view name) {
    for (const DesignedPixels& control : designedPixelsAt96Dpi) {
        if (control.name == name) {
            return control;
        }
    }
    throw std::out_of_range{"no designed control " + std::string{name}};
}

} // namespace kestrane::testing
