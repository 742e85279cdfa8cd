#include "computer_name.h"

namespace tarnwick {

bool ShowComputerName(MainView& view, ComputerNameSource& source,
                      std::optional<std::wstring>& name) {
    bool read = false;
    if (auto found = source.Read()) {
        name = std::move(found);
        read = true;
    }
    const std::wstring shown = name.value_or(std::wstring());
    view.SetLabel1Caption(L"Computer: " + shown);
    view.SetLabel2Caption(shown);
    return read;
}

}  // namespace tarnwick
