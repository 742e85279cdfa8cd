#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "directory.h"
#include "win32_raii.h"

namespace tarnwick {

// A directory object reached through its automation interface, member by name.
// A call that fails throws Failure with the status code the object reported.
class DispatchObject final : public DirectoryObject {
public:
    explicit DispatchObject(Microsoft::WRL::ComPtr<IDispatch> object);

    DirectoryValue Get(const std::wstring& property) override;
    void Put(const std::wstring& property, const DirectoryValue& value) override;
    void Call(const std::wstring& method) override;
    std::unique_ptr<DirectoryObject> CallForObject(
        const std::wstring& method, const std::vector<DirectoryValue>& arguments) override;

private:
    // A member's id, asked for by name the first time only: a status wait
    // reads the same property hundreds of times, and each lookup is a round
    // trip to the provider.
    DISPID MemberId(const std::wstring& member);

    Microsoft::WRL::ComPtr<IDispatch> object_;
    std::vector<std::pair<std::wstring, DISPID>> memberIds_;
};

// Binds object paths through ADSI with the user's own identity. The calling
// thread must have COM set up (apartment-threaded; the worker thread that
// runs the service control does); the first bind loads the ADSI library from
// the system folder only, and fails when it cannot. One thread at a time.
class AdsiDirectory final : public Directory {
public:
    std::unique_ptr<DirectoryObject> Bind(const std::wstring& path) override;

private:
    using GetObjectFn = HRESULT(WINAPI*)(LPCWSTR path, REFIID interfaceId, void** object);

    UniqueHmodule activeDs_;
    GetObjectFn getObject_ = nullptr;
};

}  // namespace tarnwick
