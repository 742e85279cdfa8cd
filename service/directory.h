#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace tarnwick {

// The values that cross the late-bound directory interface: whole numbers or texts.
using DirectoryValue = std::variant<std::int32_t, std::wstring>;

// A directory object reached by member name only. Every operation throws
// Failure when the call fails.
class DirectoryObject {
public:
    virtual ~DirectoryObject() = default;

    virtual DirectoryValue Get(const std::wstring& property) = 0;
    virtual void Put(const std::wstring& property, const DirectoryValue& value) = 0;
    virtual void Call(const std::wstring& method) = 0;
    virtual std::unique_ptr<DirectoryObject> CallForObject(
        const std::wstring& method, const std::vector<DirectoryValue>& arguments) = 0;
};

// Binds an object path ("WinNT://name,computer") with the user's own identity.
class Directory {
public:
    virtual ~Directory() = default;
    virtual std::unique_ptr<DirectoryObject> Bind(const std::wstring& path) = 0;
};

}  // namespace tarnwick
