// Prepares the simulated services of a Wine prefix:
//   benchctl.exe install C:\path\to\fakesvc.exe   create or repair, then reset (the screen at 96 DPI too)
//   benchctl.exe reset                            stop all, default behaviour
//   benchctl.exe computer iis6|iis70|iis10|iis10-noftp
//                                                 reset to that computer's services and IIS key
//   benchctl.exe status                           one line per service: state, start type
//   benchctl.exe wait-window CAPTION              waits (20 s at most) for a top-level window
// Run by the session scripts before each test program, and by hand.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "services.h"
#include "test_data.h"

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    try {
        if (command == L"install" && argc == 3) {
            // A test ended while it had the screen at another DPI would leave
            // that DPI to every later session: each starts again at 96.
            tarnwick::bench::SetScreenDpi(USER_DEFAULT_SCREEN_DPI);
            tarnwick::bench::InstallServices(argv[2]);
            return 0;
        }
        if (command == L"reset" && argc == 2) {
            tarnwick::bench::ResetServices();
            return 0;
        }
        if (command == L"computer" && argc == 3) {
            using tarnwick::bench::BenchComputer;
            const std::pair<const wchar_t*, BenchComputer> computers[] = {
                {L"iis6", BenchComputer::Iis6}, {L"iis70", BenchComputer::Iis70},
                {L"iis10", BenchComputer::Iis10}, {L"iis10-noftp", BenchComputer::Iis10WithoutFtp}};
            for (const auto& [name, computer] : computers) {
                if (std::wstring(argv[2]) != name) continue;
                tarnwick::bench::ResetServices(tarnwick::bench::BenchSetup().On(computer));
                return 0;
            }
        }
        if (command == L"wait-window" && argc == 3) {
            for (int tries = 0; tries < 1000; ++tries) {
                if (FindWindowW(nullptr, argv[2])) return 0;
                Sleep(20);
            }
            return 1;
        }
        if (command == L"status" && argc == 2) {
            static const wchar_t* const states[] = {L"?", L"stopped", L"start pending",
                                                    L"stop pending", L"running", L"continue pending",
                                                    L"pause pending", L"paused"};
            static const wchar_t* const startTypes[] = {L"boot", L"system", L"automatic",
                                                        L"manual", L"disabled"};
            for (const auto* name : tarnwick::bench::kBenchServiceNames) {
                if (!tarnwick::bench::ServiceExists(name)) continue;
                const DWORD state = tarnwick::bench::QueryState(name);
                const DWORD startType = tarnwick::bench::QueryStartType(name);
                std::wprintf(L"  %-9ls %-16ls start type %ls\n", name,
                             state < 8 ? states[state] : L"?",
                             startType < 5 ? startTypes[startType] : L"?");
            }
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchctl: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: benchctl.exe install FAKESVC_PATH | reset | computer iis6|iis70|iis10|iis10-noftp | status"
                 " | wait-window CAPTION\n");
    return 2;
}
