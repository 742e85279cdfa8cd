#pragma once

// One value of HKEY_LOCAL_MACHINE as it was before the test, put back byte for
// byte afterwards, or removed again (with its key, when the test created that).
// A value that cannot be put back fails the test.

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test_data.h"
#include "win32_raii.h"

namespace tarnwick::bench {

class RestoredValue {
public:
    RestoredValue(std::wstring key, std::wstring name) : key_(std::move(key)), name_(std::move(name)) {
        UniqueHkey opened;
        keyExisted_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
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
                StoreRaw(key_, name_, type_, data_);
                return;
            }
            RemoveValue(key_, name_);
            if (!keyExisted_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key_.c_str());
        } catch (const std::exception& e) {
            ADD_FAILURE() << "registry not restored: " << e.what();
        }
    }

private:
    std::wstring key_;
    std::wstring name_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

}  // namespace tarnwick::bench
