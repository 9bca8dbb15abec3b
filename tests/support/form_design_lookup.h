// What the window tests look up in the design table and the windows never need: the focus order
// the design gives.
#pragma once

#include "window/form_design.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kestrane::window {

// The focus order: controls that take the focus, by ascending tab index. The option buttons
// of one container are one stop, standing under the first of them.
inline std::vector<ControlId> focusOrder() {
    std::vector<ControlId> order;
    std::vector<std::optional<ControlId>> groupsSeen;
    for (const ControlId id : tabIndexOrder()) {
        const ControlDesign& control = designOf(id);
        if (!takesFocus(control.kind)) {
            continue;
        }
        if (control.kind == ControlKind::OptionButton) {
            if (std::ranges::find(groupsSeen, control.container) != groupsSeen.end()) {
                continue;
            }
            groupsSeen.push_back(control.container);
        }
        order.push_back(id);
    }
    return order;
}

} // namespace kestrane::window
