#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

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
    // A sentence saying what the failure most likely means where it happened;
    // the report adds it after the code and the description.
    const std::wstring& Note() const noexcept { return note_; }
    const char* what() const noexcept override { return "tarnwick::Failure"; }

    Failure WithNote(std::wstring note) const {
        Failure noted(*this);
        noted.note_ = std::move(note);
        return noted;
    }

private:
    std::int32_t code_;
    std::wstring description_;
    std::wstring note_;
};

// The HRESULT an automation exception stands for: its scode when the callee
// set one; otherwise its wCode, which is not an HRESULT, turned into one as
// COM's own support does (FACILITY_ITF, 0x80040200 + wCode); otherwise
// DISP_E_EXCEPTION, which only says that there was an exception.
constexpr std::int32_t ExceptionCode(std::int32_t scode, std::uint16_t wCode) {
    if (scode != 0) return scode;
    if (wCode != 0) return static_cast<std::int32_t>(0x80040200u + wCode - 0x100000000LL);
    return static_cast<std::int32_t>(0x80020009u - 0x100000000LL);
}

}  // namespace tarnwick
