#pragma once

#include <windows.h>
#include <ole2.h>

#include <iads.h>

namespace tarnwick::bench {

// A new namespace object (the class the provider registers), one reference
// held by the caller.
IADsOpenDSObject* CreateNamespace();

}  // namespace tarnwick::bench
