#pragma once

#include <string>

namespace tarnwick {

// What the service-control code may do to the main window. Each operation
// throws Failure when the window refuses it.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void SetLabel1Caption(const std::wstring& caption) = 0;
    virtual void SetLabel2Caption(const std::wstring& caption) = 0;
    virtual std::wstring Label2Caption() const = 0;
    virtual void Show() = 0;
    virtual void FocusStart() = 0;
    virtual void FocusStop() = 0;
};

}  // namespace tarnwick
