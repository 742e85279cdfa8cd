#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "links.h"
#include "win32_raii.h"

namespace tarnwick {

// Shell over ShellExecuteA, the process token, the desktop's shell window
// and the association registry. shell32 and shlwapi are loaded from the
// system folder at their first use: most runs never open a link.
class Win32Shell final : public Shell {
public:
    std::int64_t Execute(void* owner,
                         const std::optional<std::wstring>& verb,
                         const std::wstring& file,
                         const std::optional<std::wstring>& parameters,
                         const std::wstring& directory,
                         int showCommand) override;
    bool RunsElevated() override;
    std::unique_ptr<DesktopShell> FindDesktopShell() override;
    bool HasAssociation(const std::wstring& scheme, Association kind, Lookup lookup) override;

private:
    UniqueHmodule shell32_;
    UniqueHmodule shlwapi_;
};

}  // namespace tarnwick
