#include "form_design.h"

#include <algorithm>

namespace kestrane::window {

std::vector<ControlId> tabIndexOrder() {
    std::vector<const ControlDesign*> controls;
    for (const ControlDesign& control : form1Controls) {
        controls.push_back(&control);
    }
    std::ranges::sort(controls, {}, &ControlDesign::tabIndex);
    std::vector<ControlId> order;
    for (const ControlDesign* control : controls) {
        order.push_back(control->id);
    }
    return order;
}

bool startsGroup(ControlId id) {
    const ControlDesign& control = designOf(id);
    if (control.kind != ControlKind::OptionButton) {
        return true;
    }
    const auto first = std::ranges::find_if(form1Controls, [&](const ControlDesign& other) {
        return other.kind == ControlKind::OptionButton && other.container == control.container;
    });
    return first->id == id;
}

std::vector<std::string_view> textsOf(ControlId id) {
    const ControlDesign& control = designOf(id);
    std::vector<std::string_view> texts{control.text};
    for (const std::string_view entry : control.listEntries) {
        if (entry != control.text) {
            texts.push_back(entry);
        }
    }
    return texts;
}

} // namespace kestrane::window
