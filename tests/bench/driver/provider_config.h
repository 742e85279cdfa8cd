#pragma once

// Configuration of the stand-in WinNT directory provider, and the helpers the
// Wine tests use to set it and to read what the provider was asked.
//
// The provider reads everything below at each call, so a test may change it
// between calls and while a program under test is running. All of it lives in
// the 64-bit view of HKEY_LOCAL_MACHINE:
//
//   SOFTWARE\TarnwickBench\Provider
//     Journal          REG_SZ    file that receives one line per call (absent: none)
//     FailBind         REG_DWORD HRESULT that OpenDSObject fails with (0: none)
//     <service name>\            one subkey per service (IISADMIN, W3SVC, MSFTPSVC)
//       FailLookup      REG_DWORD HRESULT that GetObject of this service fails with
//       FailStatusCount REG_DWORD how many of the next Status reads fail; the
//                                 provider counts it down at each failing read
//       FailStatusCode  REG_DWORD HRESULT those reads fail with (0: E_FAIL)
//       FailSetInfo     REG_DWORD HRESULT that SetInfo fails with
//       FailStart       REG_DWORD HRESULT that Start fails with
//       FailStop        REG_DWORD HRESULT that Stop fails with
//
// An injected failure replaces the operation: a failing Start starts nothing,
// a failing SetInfo writes nothing and keeps the staged start type.
//
// Journal lines are tab-separated, UTF-8, one per call received:
//   <ms> <object> <member> <kind> <args> <result>
//   ms      QueryPerformanceCounter in milliseconds with 3 decimals (the
//           simulated services' state log uses the same clock)
//   object  "bind" (OpenDSObject), "computer", or the service name as the
//           caller passed it to GetObject
//   member  "OpenDSObject", "GetObject", "Status", "StartType", "SetInfo",
//           "Start", "Stop", or a name the caller asked for that does not exist
//   kind    "method", "get", "put", or "names" (a GetIDsOfNames lookup of an
//           unknown name; lookups of known names are not written)
//   args    the arguments in call order, comma-separated, each typed as passed:
//           VT_BSTR:"Service", VT_I4:4, VT_I2:4, VT_BSTR:null (a null BSTR),
//           VT_BYREF|VT_BSTR:"W3SVC", VT_BYREF|VT_VARIANT:VT_BSTR:"W3SVC".
//           OpenDSObject lists path, user name, password and flags.
//   result  the member's HRESULT as 0x%08X (for a failing member, the code the
//           caller finds in EXCEPINFO.scode; for a call refused by the dispatch
//           layer, Invoke's own code), and after a successful property read a
//           blank and the value typed like the args: "0x00000000 VT_I4:4".
// A failed bind through ADsGetObject shows two OpenDSObject lines: the system
// tries a second time without secure authentication.

#include <windows.h>

#include <string>
#include <vector>

namespace tarnwick::bench {

inline constexpr wchar_t kProviderKey[] = L"SOFTWARE\\TarnwickBench\\Provider";
inline constexpr wchar_t kJournalValue[] = L"Journal";
inline constexpr wchar_t kFailBindValue[] = L"FailBind";
inline constexpr wchar_t kFailLookupValue[] = L"FailLookup";
inline constexpr wchar_t kFailStatusCountValue[] = L"FailStatusCount";
inline constexpr wchar_t kFailStatusCodeValue[] = L"FailStatusCode";
inline constexpr wchar_t kFailSetInfoValue[] = L"FailSetInfo";
inline constexpr wchar_t kFailStartValue[] = L"FailStart";
inline constexpr wchar_t kFailStopValue[] = L"FailStop";

// How the stand-in provider is registered in the test prefix.
inline constexpr wchar_t kProviderProgId[] = L"TarnwickBench.WinNTNamespace";
inline constexpr wchar_t kProviderClsid[] = L"{28447747-A1D6-4B94-9F54-05583A7954B6}";

// The member calls of a service object that can be made to fail.
enum class ServiceFault { Lookup, SetInfo, Start, Stop };

// Points the journal at `path` and empties that file; an empty path turns the
// journal off.
void SetJournal(const std::wstring& path);

// Removes every fault and the journal setting.
void ClearProviderConfig();

// OpenDSObject fails with `code` (0 clears).
void InjectBindFault(HRESULT code);

// The given call on service `service` fails with `code` (0 clears).
void InjectFault(const std::wstring& service, ServiceFault fault, HRESULT code);

// The next `count` Status reads of `service` fail with `code`.
void InjectStatusFaults(const std::wstring& service, DWORD count, HRESULT code);

// How many injected Status failures of `service` are still to come.
DWORD PendingStatusFaults(const std::wstring& service);

struct JournalEntry {
    double ms = 0;
    std::string object;
    std::string member;
    std::string kind;
    std::string args;
    std::string result;
};

// The journal's lines as written so far; empty when the file does not exist.
// Throws std::runtime_error on a line that does not have six fields.
std::vector<JournalEntry> ReadJournal(const std::wstring& path);

}  // namespace tarnwick::bench
