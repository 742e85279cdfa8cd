#pragma once

// One value of HKEY_LOCAL_MACHINE (or `root`) as it was before the test, put
// back byte for byte afterwards, or removed again (with its key, when the test
// created that). A value that cannot be put back fails the test.

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {

class RestoredValue {
public:
    RestoredValue(std::wstring key, std::wstring name, HKEY root = HKEY_LOCAL_MACHINE)
        : root_(root), key_(std::move(key)), name_(std::move(name)) {
        UniqueHkey opened;
        keyExisted_ = RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
        if (!keyExisted_) return;
        DWORD size = 0;
        if (RegQueryValueExW(opened.Get(), name_.c_str(), nullptr, &type_, nullptr, &size) != ERROR_SUCCESS) return;
        data_.resize(size);
        valueExisted_ =
            RegQueryValueExW(opened.Get(), name_.c_str(), nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
        data_.resize(size);
    }
    RestoredValue(const RestoredValue&) = delete;
    RestoredValue& operator=(const RestoredValue&) = delete;
    ~RestoredValue() {
        try {
            if (valueExisted_) {
                StoreRaw(key_, name_, type_, data_, root_);
                return;
            }
            RemoveValue(key_, name_, root_);
            if (!keyExisted_) RegDeleteKeyW(root_, key_.c_str());
        } catch (const std::exception& e) {
            ADD_FAILURE() << "registry not restored: " << e.what();
        }
    }

private:
    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// The screen's DPI (LogPixels) as programs started while it lives see it; and
// the calling thread sees their windows in real pixels, whatever DPI they
// draw at. Both are put back afterwards.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) : previous_(SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) {
        SetScreenDpi(dpi);
    }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;
    ~ScreenDpi() {
        if (previous_) SetThreadDpiAwarenessContext(previous_);
    }

private:
    RestoredValue user_{kUserDpiKey, kDpiValue, HKEY_CURRENT_USER};
    RestoredValue machine_{kMachineDpiKey, kDpiValue};
    DPI_AWARENESS_CONTEXT previous_;
};

// The system's colours changed for the life of the object (programs started
// meanwhile draw with them), and put back afterwards: they are the session's.
class ChangedSystemColours {
public:
    explicit ChangedSystemColours(const std::vector<std::pair<int, COLORREF>>& colours) {
        std::vector<COLORREF> wanted;
        for (const auto& [index, colour] : colours) {
            indices_.push_back(index);
            saved_.push_back(GetSysColor(index));
            wanted.push_back(colour);
        }
        if (!SetSysColors(static_cast<int>(indices_.size()), indices_.data(), wanted.data()))
            throw std::runtime_error("cannot set the system colours");
    }
    ChangedSystemColours(const ChangedSystemColours&) = delete;
    ChangedSystemColours& operator=(const ChangedSystemColours&) = delete;
    ~ChangedSystemColours() {
        if (!SetSysColors(static_cast<int>(indices_.size()), indices_.data(), saved_.data()))
            ADD_FAILURE() << "the system colours were not put back";
    }

private:
    std::vector<int> indices_;
    std::vector<COLORREF> saved_;
};

}  // namespace tarnwick::bench
