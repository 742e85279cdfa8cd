// Built with MinGW-w64 only. Its thread library (winpthreads, which the C++
// runtime uses) measures its timed waits with GetTickCount64, which Windows
// before Vista lacks: imported, it would keep the program from starting on XP
// and Server 2003. The import slot it calls through is defined here instead,
// pointing to a function that looks GetTickCount64 up at run time and
// otherwise counts milliseconds with the performance counter, which every
// Windows has and which, unlike GetTickCount, does not wrap.

#include <windows.h>

#include "system_library_win32.h"

namespace {

ULONGLONG WINAPI TickCount64() {
    using GetTickCount64Fn = ULONGLONG(WINAPI*)();
    static const auto getTickCount64 =
        tarnwick::NewerSystemFunction<GetTickCount64Fn>(L"kernel32.dll", "GetTickCount64");
    if (getTickCount64) return getTickCount64();
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&counter) || frequency.QuadPart <= 0)
        return GetTickCount();
    const auto ticks = static_cast<ULONGLONG>(counter.QuadPart);
    const auto perSecond = static_cast<ULONGLONG>(frequency.QuadPart);
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

}  // namespace

// The import slot's name as the linker knows it: decorated on x86 (stdcall,
// no arguments).
#if defined(_M_IX86) || defined(__i386__)
extern "C" ULONGLONG(WINAPI* tarnwick_tick_count_64_slot)() __asm__("__imp__GetTickCount64@0");
#else
extern "C" ULONGLONG(WINAPI* tarnwick_tick_count_64_slot)() __asm__("__imp_GetTickCount64");
#endif
ULONGLONG(WINAPI* tarnwick_tick_count_64_slot)() = TickCount64;
