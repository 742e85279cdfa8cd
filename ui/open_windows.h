#pragma once

#include <windows.h>

namespace tarnwick {

// Counts the program's open top-level windows. When the last one is destroyed
// the message loop ends, and with it the program. Owned by the entry point and
// handed to every top-level window, which reports its WM_CREATE and WM_DESTROY.
class OpenWindows {
public:
    void Opened() { ++count_; }
    void Closed() {
        if (count_ > 0 && --count_ == 0) PostQuitMessage(0);
    }

private:
    int count_ = 0;
};

}  // namespace tarnwick
