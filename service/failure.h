#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tarnwick {

// A failed operation: the status code it returned (an HRESULT, or a Win32 error
// already turned into one) and the description the system gives for it.
// Strict failures travel as this exception to the event handler's boundary,
// where they are reported once.
class Failure : public std::exception {
public:
    Failure(std::int32_t code, std::wstring description)
        : code_(code), description_(std::move(description)) {}

    std::int32_t Code() const noexcept { return code_; }
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return "tarnwick::Failure"; }

private:
    std::int32_t code_;
    std::wstring description_;
};

}  // namespace tarnwick
