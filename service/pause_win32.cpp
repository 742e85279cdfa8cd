#include "pause.h"

#include <windows.h>

namespace tarnwick {

void Pause(std::int32_t milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

}  // namespace tarnwick
