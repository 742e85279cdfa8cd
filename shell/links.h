#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "message_boxes.h"

namespace tarnwick {

// The shell of the user's desktop (Explorer), which starts the programs it is
// handed with the user's own rights, whatever the rights of the caller.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;

    // Hands `file` over to be opened with its default action. False when the
    // shell refused it.
    virtual bool Execute(const std::wstring& file, const std::wstring& directory, int showCommand) = 0;
};

// The Windows shell as the link routines use it.
class Shell {
public:
    virtual ~Shell() = default;

    // The shell's "execute" entry point, argument for argument. Texts are
    // Unicode here; the adapter converts them for the ANSI entry point. The
    // result is the raw INT_PTR the shell returned, widened so that no bit is lost.
    virtual std::int64_t Execute(void* owner,
                                 const std::optional<std::wstring>& verb,
                                 const std::wstring& file,
                                 const std::optional<std::wstring>& parameters,
                                 const std::wstring& directory,
                                 int showCommand) = 0;

    // What the association registry can name for opening a protocol.
    enum class Association {
        Command,          // a command line
        DelegateExecute,  // a COM object that starts the program
        AppId,            // an application (packaged apps register only this)
    };
    // How the association registry is asked about a scheme.
    enum class Lookup {
        Protocol,     // as the shell resolves a protocol, the user's choice first (refused before Windows 8)
        ProtocolKey,  // the protocol's own key in the classes root, which older systems read
    };

    // Whether this program runs with the administrator's full rights.
    virtual bool RunsElevated() = 0;
    // The desktop's shell, or null when none runs or it cannot be reached.
    virtual std::unique_ptr<DesktopShell> FindDesktopShell() = 0;
    // Whether the protocol `scheme` ("https", "mailto") has an association of this kind.
    virtual bool HasAssociation(const std::wstring& scheme, Association kind, Lookup lookup) = 0;
};

inline constexpr wchar_t kLinkWorkingDirectory[] = L"C:\\";
inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

inline constexpr wchar_t kBrowserErrorText[] =
    L"Error lauching web browser. Make sure that your web browser is correctly installed and configured";
inline constexpr wchar_t kMailErrorText[] =
    L"Error sending mail. Make sure that you have your email client correctly installed and configured";

// The address opened by every web link, whatever the clicked label shows.
std::wstring HomePageTarget();

// "mailto:" + the maker's information address + the subject, unencoded.
std::wstring InfoMailTarget();

// "https" for "https://…", "mailto" for "mailto:…"; empty without a scheme.
std::wstring SchemeOf(const std::wstring& target);

// The shell reports success with a value above 32. Only the low 32 bits count,
// read as a signed number, as a 32-bit caller would see them.
bool ShellSucceeded(std::int64_t result);

// Whether a program is registered to open targets of `scheme`: by a command,
// a DelegateExecute object or an application id, any of them; asked as a
// protocol first, then (where that found none, as on Windows 7 and older) by
// the protocol's own key.
bool HasHandler(Shell& shell, const std::wstring& scheme);

// A busy desktop shell rejects calls and asks to be called again later; such a
// call is retried every kBusyShellRetryMs until kBusyShellBoundMs have passed.
inline constexpr std::uint32_t kBusyShellBoundMs = 5000;
inline constexpr std::uint32_t kBusyShellRetryMs = 100;

// After how many milliseconds a rejected call is made again, `elapsedMs`
// after it was first made; nothing when it is given up. A callee that refused
// outright (rather than asking for later) is not asked again.
std::optional<std::uint32_t> RetryRejectedCallAfter(bool retryLater, std::uint32_t elapsedMs);

// Hand the link to the shell; on failure tell the user and return normally.
// Run elevated, the link goes only to the desktop's shell, so that the browser
// or mail program runs with the user's own rights; where that shell cannot be
// reached or refuses, the link fails rather than open as administrator.
void OpenHomePage(Shell& shell, MessageBoxes& boxes);
void SendInfoMail(Shell& shell, MessageBoxes& boxes);

}  // namespace tarnwick
