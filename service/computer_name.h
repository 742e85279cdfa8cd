#pragma once

#include <optional>
#include <string>

#include "main_view.h"

namespace tarnwick {

// Reads the local computer's name; nullopt when the system call fails.
class ComputerNameSource {
public:
    virtual ~ComputerNameSource() = default;
    virtual std::optional<std::wstring> Read() = 0;
};

// Reads the computer name and shows it: Label1 gets "Computer: " + name, Label2
// the bare name, which is what the binding code reads back. `name` is set only
// when the name was read; an unset name shows as the empty text. Returns
// whether the name was read. Failures of the view pass to the caller.
bool ShowComputerName(MainView& view, ComputerNameSource& source,
                      std::optional<std::wstring>& name);

}  // namespace tarnwick
