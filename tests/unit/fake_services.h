#pragma once

// Fakes for the service-control core: a window, a computer-name source, a
// directory with three scripted services, and a clock that only moves when
// asked. Every call is written to one log, so tests can pin the exact order.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock.h"
#include "computer_name.h"
#include "directory.h"
#include "failure.h"
#include "main_view.h"
#include "switching.h"

namespace tarnwick::testing {

using CallLog = std::vector<std::wstring>;

inline std::wstring Describe(const DirectoryValue& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_wstring(*number);
    return L"\"" + std::get<std::wstring>(value) + L"\"";
}

class FakeView : public MainView {
public:
    explicit FakeView(CallLog& log) : log_(log) {}

    void SetLabel1Caption(const std::wstring& caption) override {
        log_.push_back(L"view.Label1=" + caption);
        if (failSetCaption) throw *failSetCaption;
        label1 = caption;
    }
    void SetLabel2Caption(const std::wstring& caption) override {
        log_.push_back(L"view.Label2=" + caption);
        label2 = caption;
    }
    std::wstring Label2Caption() const override {
        log_.push_back(L"view.Label2?");
        return label2Override.value_or(label2);
    }
    void Show() override { log_.push_back(L"view.Show"); }
    void FocusStart() override { log_.push_back(L"view.FocusStart"); }
    void FocusStop() override { log_.push_back(L"view.FocusStop"); }

    std::wstring label1, label2;
    std::optional<std::wstring> label2Override;  // a caption changed behind the routine's back
    std::optional<Failure> failSetCaption;

private:
    CallLog& log_;
};

class FakeComputerName : public ComputerNameSource {
public:
    std::optional<std::wstring> Read() override { return name; }
    std::optional<std::wstring> name = std::wstring(L"WEBHOST");
};

// What one simulated service answers. Status reads walk through `statuses`;
// the last one repeats. `failures` makes a member fail every time.
struct ScriptedService {
    std::vector<std::int32_t> statuses{1};
    std::size_t next = 0;
    int failingStatusReads = 0;
    std::map<std::wstring, Failure> failures;
    std::optional<Failure> lookupFailure;
    int stopsUntilStopped = 0;  // > 0: status turns 1 after that many more Stop calls
};

class FakeServiceObject : public DirectoryObject {
public:
    FakeServiceObject(std::wstring name, ScriptedService& script, CallLog& log)
        : name_(std::move(name)), script_(script), log_(log) {}

    DirectoryValue Get(const std::wstring& property) override {
        log_.push_back(name_ + L".Get " + property);
        if (script_.failingStatusReads > 0) {
            --script_.failingStatusReads;
            throw Failure(static_cast<std::int32_t>(0x80070005), L"Access is denied.");
        }
        Fail(property);
        const auto& s = script_.statuses;
        const std::int32_t status = s[std::min(script_.next, s.size() - 1)];
        ++script_.next;
        return status;
    }
    void Put(const std::wstring& property, const DirectoryValue& value) override {
        log_.push_back(name_ + L".Put " + property + L"=" + Describe(value));
        Fail(property);
    }
    void Call(const std::wstring& method) override {
        log_.push_back(name_ + L"." + method);
        Fail(method);
        if (method == L"Stop" && script_.stopsUntilStopped > 0 &&
            --script_.stopsUntilStopped == 0) {
            script_.statuses = {1};
            script_.next = 0;
        }
    }
    std::unique_ptr<DirectoryObject> CallForObject(const std::wstring& method,
                                                   const std::vector<DirectoryValue>&) override {
        log_.push_back(name_ + L"." + method);
        throw Failure(static_cast<std::int32_t>(0x80020006), L"Unknown name.");
    }

private:
    void Fail(const std::wstring& member) {
        const auto found = script_.failures.find(member);
        if (found != script_.failures.end()) throw found->second;
    }

    std::wstring name_;
    ScriptedService& script_;
    CallLog& log_;
};

class FakeComputerObject : public DirectoryObject {
public:
    FakeComputerObject(std::map<std::wstring, ScriptedService>& services, CallLog& log)
        : services_(services), log_(log) {}

    DirectoryValue Get(const std::wstring& property) override {
        log_.push_back(L"computer.Get " + property);
        return 0;
    }
    void Put(const std::wstring& property, const DirectoryValue&) override {
        log_.push_back(L"computer.Put " + property);
    }
    void Call(const std::wstring& method) override { log_.push_back(L"computer." + method); }
    std::unique_ptr<DirectoryObject> CallForObject(
        const std::wstring& method, const std::vector<DirectoryValue>& arguments) override {
        std::wstring call = L"computer." + method + L"(";
        for (std::size_t i = 0; i < arguments.size(); ++i)
            call += (i ? L"," : L"") + Describe(arguments[i]);
        log_.push_back(call + L")");
        const std::wstring name = std::get<std::wstring>(arguments.at(1));
        const auto found = services_.find(name);
        if (found == services_.end())
            throw Failure(static_cast<std::int32_t>(0x80070424), L"The specified service does not exist.");
        if (found->second.lookupFailure) throw *found->second.lookupFailure;
        return std::make_unique<FakeServiceObject>(name, found->second, log_);
    }

private:
    std::map<std::wstring, ScriptedService>& services_;
    CallLog& log_;
};

class FakeDirectory : public Directory {
public:
    explicit FakeDirectory(CallLog& log) : log_(log) {
        services[L"IISADMIN"];
        services[L"W3SVC"];
        services[L"MSFTPSVC"];
    }

    std::unique_ptr<DirectoryObject> Bind(const std::wstring& path) override {
        log_.push_back(L"Bind " + path);
        if (bindFailure) throw *bindFailure;
        return std::make_unique<FakeComputerObject>(services, log_);
    }

    std::map<std::wstring, ScriptedService> services;
    std::optional<Failure> bindFailure;

private:
    CallLog& log_;
};

// The right to switch: taken at once unless another program holds it.
class FakeSwitching : public Switching {
public:
    explicit FakeSwitching(CallLog& log) : log_(log) {}
    bool TryTake() override {
        log_.push_back(L"switch.TryTake");
        return !heldElsewhere;
    }
    void GiveBack() override { log_.push_back(L"switch.GiveBack"); }
    void SequenceBegins() override { log_.push_back(L"switch.SequenceBegins"); }

    bool heldElsewhere = false;

private:
    CallLog& log_;
};

// Time passes only through Pause and a fixed step per reading, so bounds are
// reached deterministically, without waiting.
class FakeClock : public Clock {
public:
    explicit FakeClock(CallLog& log) : log_(log) {}
    std::chrono::milliseconds Now() override {
        now_ += std::chrono::milliseconds(1);
        return now_;
    }
    void Pause(std::int32_t milliseconds) override {
        log_.push_back(L"Pause " + std::to_wstring(milliseconds));
        now_ += std::chrono::milliseconds(milliseconds);
    }

private:
    CallLog& log_;
    std::chrono::milliseconds now_{0};
};

}  // namespace tarnwick::testing
