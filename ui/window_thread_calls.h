#pragma once

#include <string>

#include "main_view.h"
#include "switching.h"
#include "window.h"

namespace tarnwick {

// The main window as the service control sees it from the worker thread:
// each operation is carried out on the window's own thread, where alone the
// focus can be moved.
class MainViewOnWindowThread final : public MainView {
public:
    MainViewOnWindowThread(Window& window, MainView& view) : window_(window), view_(view) {}

    void SetLabel1Caption(const std::wstring& caption) override {
        window_.RunOnOwnThread([&] { view_.SetLabel1Caption(caption); });
    }
    void SetLabel2Caption(const std::wstring& caption) override {
        window_.RunOnOwnThread([&] { view_.SetLabel2Caption(caption); });
    }
    std::wstring Label2Caption() const override {
        std::wstring caption;
        window_.RunOnOwnThread([&] { caption = view_.Label2Caption(); });
        return caption;
    }
    void Show() override {
        window_.RunOnOwnThread([&] { view_.Show(); });
    }
    void FocusStart() override {
        window_.RunOnOwnThread([&] { view_.FocusStart(); });
    }
    void FocusStop() override {
        window_.RunOnOwnThread([&] { view_.FocusStop(); });
    }

private:
    Window& window_;
    MainView& view_;
};

// The right to switch as the service control takes it from the worker
// thread: on the window's thread, which owns the mutex for as long as the
// program holds it (a mutex belongs to the thread that acquired it), and which
// alone can disable its windows and give them a shutdown reason.
class SwitchingOnWindowThread final : public Switching {
public:
    SwitchingOnWindowThread(Window& window, Switching& switching) : window_(window), switching_(switching) {}

    bool TryTake() override {
        bool taken = false;
        window_.RunOnOwnThread([&] { taken = switching_.TryTake(); });
        return taken;
    }
    void GiveBack() override {
        window_.RunOnOwnThread([&] { switching_.GiveBack(); });
    }
    void SequenceBegins() override {
        window_.RunOnOwnThread([&] { switching_.SequenceBegins(); });
    }

private:
    Window& window_;
    Switching& switching_;
};

}  // namespace tarnwick
