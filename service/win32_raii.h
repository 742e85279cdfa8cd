#pragma once

// One owner type per Windows resource, in the shape of WIL's unique_* types:
// move-only, closed on destruction, and Put() releases the old value before
// handing out the address for an out-parameter. COM pointers use
// Microsoft::WRL::ComPtr.

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tarnwick {

template <typename T, typename Close, T Invalid>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~UniqueResource() { Reset(); }

    T Get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T* Put() {
        Reset();
        return &value_;
    }
    T Release() { return std::exchange(value_, Invalid); }
    void Reset(T value = Invalid) {
        const T old = std::exchange(value_, value);
        if (old != Invalid) {
            const DWORD lastError = GetLastError();  // closing must not disturb the caller's error
            Close{}(old);
            SetLastError(lastError);
        }
    }

private:
    T value_ = Invalid;
};

struct CloseHandleFn { void operator()(HANDLE h) const { CloseHandle(h); } };
struct RegCloseKeyFn { void operator()(HKEY k) const { RegCloseKey(k); } };
struct SysFreeStringFn { void operator()(BSTR s) const { SysFreeString(s); } };
struct DestroyWindowFn { void operator()(HWND w) const { DestroyWindow(w); } };
struct DestroyMenuFn { void operator()(HMENU m) const { DestroyMenu(m); } };
struct DeleteFontFn { void operator()(HFONT f) const { DeleteObject(f); } };
struct ReleaseScreenDcFn { void operator()(HDC dc) const { ReleaseDC(nullptr, dc); } };
struct DestroyIconFn { void operator()(HICON i) const { DestroyIcon(i); } };
struct DeletePenFn { void operator()(HPEN p) const { DeleteObject(p); } };
struct FreeLibraryFn { void operator()(HMODULE m) const { FreeLibrary(m); } };
struct LocalFreeFn { void operator()(HLOCAL m) const { LocalFree(m); } };
struct DeregisterEventSourceFn { void operator()(HANDLE h) const { DeregisterEventSource(h); } };

using UniqueHandle = UniqueResource<HANDLE, CloseHandleFn, nullptr>;
using UniqueHkey = UniqueResource<HKEY, RegCloseKeyFn, nullptr>;
using UniqueHwnd = UniqueResource<HWND, DestroyWindowFn, nullptr>;
using UniqueHmenu = UniqueResource<HMENU, DestroyMenuFn, nullptr>;
using UniqueHfont = UniqueResource<HFONT, DeleteFontFn, nullptr>;
// A device context of the whole screen, from GetDC(nullptr).
using UniqueScreenDc = UniqueResource<HDC, ReleaseScreenDcFn, nullptr>;
// An icon loaded without LR_SHARED, which its loader must destroy.
using UniqueHicon = UniqueResource<HICON, DestroyIconFn, nullptr>;
using UniqueHpen = UniqueResource<HPEN, DeletePenFn, nullptr>;
// Memory a system call allocated with LocalAlloc for its caller (FormatMessage).
using UniqueHlocal = UniqueResource<HLOCAL, LocalFreeFn, nullptr>;
// A DLL loaded by LoadLibrary(Ex), freed on destruction.
using UniqueHmodule = UniqueResource<HMODULE, FreeLibraryFn, nullptr>;
// An event log source from RegisterEventSource.
using UniqueEventSource = UniqueResource<HANDLE, DeregisterEventSourceFn, nullptr>;

class UniqueBstr : public UniqueResource<BSTR, SysFreeStringFn, nullptr> {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* text, UINT length)
        : UniqueResource(SysAllocStringLen(text, length)) {}
};

// A VARIANT cleared on destruction.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }

    VARIANT* Put() {
        VariantClear(&value_);
        return &value_;
    }
    VARIANT* Get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    const VARIANT* operator->() const { return &value_; }

private:
    VARIANT value_;
};

// Pairs CoInitializeEx with CoUninitialize for the calling thread.
class ScopedComInit {
public:
    explicit ScopedComInit(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
    ~ScopedComInit() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace tarnwick
