#include "form_design.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

ControlId textFieldNamed(std::string_view name) {
    const ControlDesign* field = findControl(name);
    if (field != nullptr &&
        (field->kind == ControlKind::TextBox || field->kind == ControlKind::ComboBox)) {
        return field->id;
    }
    // No exception: the Windows program leaves libstdc++'s throwing machinery out of its .exe.
    std::fputs("Form1 has no text box or combo box named ", stderr);
    std::fwrite(name.data(), 1, name.size(), stderr);
    std::fputs("\n", stderr);
    std::abort();
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
