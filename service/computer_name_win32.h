#pragma once

#include "computer_name.h"

namespace tarnwick {

// The computer name as the system reports it, in UTF-16.
class Win32ComputerName final : public ComputerNameSource {
public:
    std::optional<std::wstring> Read() override;
};

}  // namespace tarnwick
