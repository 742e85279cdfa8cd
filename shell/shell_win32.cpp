#include "shell_win32.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include "ansi_text_win32.h"
#include "failure_win32.h"
#include "message_filter_win32.h"
#include "system_library_win32.h"

namespace tarnwick {

using Microsoft::WRL::ComPtr;

namespace {

using ShellExecuteAFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
using AssocQueryStringWFn = HRESULT(WINAPI*)(ASSOCF, ASSOCSTR, LPCWSTR, LPCWSTR, LPWSTR, DWORD*);

// Values the headers declare only for newer Windows than the program's
// oldest: ASSOCF_IS_PROTOCOL (Windows 8; older systems refuse it, and the
// caller then asks without it), ASSOCSTR_DELEGATEEXECUTE (Vista) and
// ASSOCSTR_APPID (Windows 8), which older systems answer as unknown.
constexpr ASSOCF kAssocfIsProtocol = 0x00001000;
constexpr ASSOCSTR kAssocstrDelegateExecute = static_cast<ASSOCSTR>(18);
constexpr ASSOCSTR kAssocstrAppId = static_cast<ASSOCSTR>(21);

// `module` loaded at the first call, then its function `name`.
template <typename Function>
Function LoadedFunction(UniqueHmodule& module, const wchar_t* library, const char* name) {
    if (!module) module = LoadFromSystemFolder(library);
    const auto function = FindFunction<Function>(module.Get(), name);
    if (!function) throw FailureFromLastError();
    return function;
}

// The shell's automation object of the desktop window, through which it
// starts programs as the desktop's own user.
class Win32DesktopShell final : public DesktopShell {
public:
    Win32DesktopShell(std::unique_ptr<ScopedRetryingMessageFilter> filter, ComPtr<IShellDispatch2> shell)
        : filter_(std::move(filter)), shell_(std::move(shell)) {}

    bool Execute(const std::wstring& file, const std::wstring& directory, int showCommand) override {
        UniqueBstr target(file.data(), static_cast<UINT>(file.size()));
        UniqueVariant folder;
        folder.Get()->vt = VT_BSTR;
        folder.Get()->bstrVal = SysAllocStringLen(directory.data(), static_cast<UINT>(directory.size()));
        UniqueVariant show;
        show.Get()->vt = VT_I4;
        show.Get()->lVal = showCommand;
        if (!target || !folder->bstrVal) throw FailureFromHresult(E_OUTOFMEMORY);
        // No arguments and the default verb; the folder and the show command
        // must be given, or the shell takes its own folder and hides the window.
        UniqueVariant noArguments;
        UniqueVariant defaultVerb;
        return SUCCEEDED(shell_->ShellExecute(target.Get(), *noArguments, *folder, *defaultVerb, *show));
    }

private:
    std::unique_ptr<ScopedRetryingMessageFilter> filter_;  // first: the calls below go through it
    ComPtr<IShellDispatch2> shell_;
};

}  // namespace

std::int64_t Win32Shell::Execute(void* owner,
                                 const std::optional<std::wstring>& verb,
                                 const std::wstring& file,
                                 const std::optional<std::wstring>& parameters,
                                 const std::wstring& directory,
                                 int showCommand) {
    const auto shellExecute = LoadedFunction<ShellExecuteAFn>(shell32_, L"shell32.dll", "ShellExecuteA");
    // Converted up front: the pointers handed to the shell must outlive the call.
    const std::optional<std::string> ansiVerb =
        verb ? std::optional<std::string>(AnsiFromWide(*verb)) : std::nullopt;
    const std::string ansiFile = AnsiFromWide(file);
    const std::optional<std::string> ansiParameters =
        parameters ? std::optional<std::string>(AnsiFromWide(*parameters)) : std::nullopt;
    const std::string ansiDirectory = AnsiFromWide(directory);

    const HINSTANCE result = shellExecute(static_cast<HWND>(owner),
                                          ansiVerb ? ansiVerb->c_str() : nullptr,
                                          ansiFile.c_str(),
                                          ansiParameters ? ansiParameters->c_str() : nullptr,
                                          ansiDirectory.c_str(),
                                          showCommand);
    return static_cast<std::int64_t>(reinterpret_cast<INT_PTR>(result));
}

bool Win32Shell::RunsElevated() {
    // A token that cannot be asked counts as not elevated: the link then goes
    // the direct way, as it always did.
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
    return elevation.TokenIsElevated != 0;
}

std::unique_ptr<DesktopShell> Win32Shell::FindDesktopShell() {
    // The desktop window's shell view, and the shell's automation object behind
    // it. Any step that fails means there is no desktop shell to hand over to.
    // Each step is a call into Explorer, which may be too busy to take it at once.
    auto filter = std::make_unique<ScopedRetryingMessageFilter>();
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&windows)))) return nullptr;
    UniqueVariant location;
    location.Get()->vt = VT_I4;
    location.Get()->lVal = CSIDL_DESKTOP;
    UniqueVariant noRoot;
    long window = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(location.Get(), noRoot.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) !=
            S_OK || !desktop)
        return nullptr;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    if (FAILED(desktop.As(&services)) ||
        FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) ||
        FAILED(browser->QueryActiveShellView(&view)) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) ||
        FAILED(background.As(&folderView)) || FAILED(folderView->get_Application(&application)) ||
        !application || FAILED(application.As(&shell)))
        return nullptr;
    return std::make_unique<Win32DesktopShell>(std::move(filter), std::move(shell));
}

bool Win32Shell::HasAssociation(const std::wstring& scheme, Association kind, Lookup lookup) {
    const auto assocQueryString =
        LoadedFunction<AssocQueryStringWFn>(shlwapi_, L"shlwapi.dll", "AssocQueryStringW");
    ASSOCSTR what = ASSOCSTR_COMMAND;
    if (kind == Association::DelegateExecute) what = kAssocstrDelegateExecute;
    if (kind == Association::AppId) what = kAssocstrAppId;
    // As a protocol the shell resolves it (the user's choice first), not as a
    // file type of that name; without the flag the name is read as the
    // protocol's own key. For its "open" verb.
    const ASSOCF flags = lookup == Lookup::Protocol ? kAssocfIsProtocol : 0;
    wchar_t value[MAX_PATH];
    DWORD length = ARRAYSIZE(value);
    const HRESULT hr = assocQueryString(flags, what, scheme.c_str(), L"open", value, &length);
    // A value longer than the buffer still names a handler.
    return (SUCCEEDED(hr) && value[0] != L'\0') || hr == E_POINTER;
}

}  // namespace tarnwick
