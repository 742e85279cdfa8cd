#pragma once

#include "links.h"
#include "sys_info.h"

namespace tarnwick {

// The shell and registry adapters, made once by the entry point and handed to
// the windows whose links and buttons use them.
struct ShellAdapters {
    Shell& shell;
    Registry& registry;
    ProgramFiles& files;
};

}  // namespace tarnwick
