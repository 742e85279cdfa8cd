#pragma once

#include "message_boxes.h"

namespace tarnwick {

// MessageBoxes over MessageBoxW. The box has no owner but is task-modal: it
// disables every window of the program until it is closed, so that nothing
// reacts behind it.
class Win32MessageBoxes final : public MessageBoxes {
public:
    void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) override;
};

}  // namespace tarnwick
