#pragma once

#include <string>

namespace tarnwick {

// The icons the program's message boxes use.
enum class MessageIcon {
    None,
    Error,    // the stop sign
    Warning,  // the exclamation mark
    Information,  // the "i" in a bubble
};

// The platform's modal message box with a single OK button: the one way the
// program shows a message. Routines that report their own failures take this
// interface, so their texts and icons can be checked without a screen.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Returns when the user has closed the box.
    virtual void Show(const std::wstring& text, const std::wstring& caption, MessageIcon icon) = 0;
};

}  // namespace tarnwick
