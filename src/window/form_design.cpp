#include "form_design.h"

#include <algorithm>

namespace kestrane::window {

const ControlDesign* findControl(std::string_view name) {
    const auto found = std::ranges::find(form1Controls, name, &ControlDesign::name);
    return found == form1Controls.end() ? nullptr : &*found;
}

std::vector<std::string_view> tabOrder() {
    std::vector<const ControlDesign*> focusable;
    for (const ControlDesign& control : form1Controls) {
        if (takesFocus(control.kind)) {
            focusable.push_back(&control);
        }
    }
    std::ranges::sort(focusable, {}, &ControlDesign::tabIndex);

    std::vector<std::string_view> order;
    std::vector<std::optional<ControlId>> groupsSeen;
    for (const ControlDesign* control : focusable) {
        if (control->kind == ControlKind::OptionButton) {
            if (std::ranges::find(groupsSeen, control->container) != groupsSeen.end()) {
                continue;
            }
            groupsSeen.push_back(control->container);
        }
        order.push_back(control->name);
    }
    return order;
}

} // namespace kestrane::window
