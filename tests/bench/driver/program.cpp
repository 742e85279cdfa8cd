#include "program.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "test_data.h"

namespace tarnwick::bench {

namespace {

constexpr DWORD kPollMs = 20;

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

struct FindState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto& state = *reinterpret_cast<FindState*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == state.processId && IsWindowVisible(window)) state.windows.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    auto& windows = *reinterpret_cast<std::vector<HWND>*>(param);
    windows.push_back(window);
    return TRUE;
}

// The pixels of a 32 x 32 square, as 0x00RRGGBB values.
using IconPixels = std::vector<COLORREF>;

IconPixels Capture(HDC source, int x, int y) {
    IconPixels pixels;
    for (int row = 0; row < 32; ++row)
        for (int column = 0; column < 32; ++column)
            pixels.push_back(GetPixel(source, x + column, y + row));
    return pixels;
}

IconPixels Render(HICON icon, COLORREF background) {
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const HBRUSH brush = CreateSolidBrush(background);
    const RECT square{0, 0, 32, 32};
    FillRect(memory, &square, brush);
    DrawIconEx(memory, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    IconPixels pixels = Capture(memory, 0, 0);
    DeleteObject(brush);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

BoxIcon IconOf(HWND box) {
    HWND iconControl = nullptr;
    for (HWND child : Children(box))
        if (ClassName(child) == L"Static" &&
            (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
            iconControl = child;
    if (!iconControl) return BoxIcon::None;

    // Icon handles are not shared between processes under Wine, so the icon is
    // told by its picture: the box's icon as shown on the screen, against each
    // system icon drawn here on the same background.
    RECT rect{};
    GetWindowRect(iconControl, &rect);
    const HDC screen = GetDC(nullptr);
    const COLORREF background = GetPixel(screen, rect.left, rect.top);
    const IconPixels shown = Capture(screen, rect.left, rect.top);
    ReleaseDC(nullptr, screen);

    const std::pair<const wchar_t*, BoxIcon> candidates[] = {
        {IDI_HAND, BoxIcon::Error}, {IDI_EXCLAMATION, BoxIcon::Warning},
        {IDI_ASTERISK, BoxIcon::Information}, {IDI_QUESTION, BoxIcon::Question}};
    for (const auto& [id, kind] : candidates) {
        const IconPixels drawn = Render(LoadIconW(nullptr, id), background);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < drawn.size(); ++i) differing += drawn[i] != shown[i];
        if (differing * 50 < drawn.size()) return kind;  // under 2% of the pixels differ
    }
    // Wine keeps the icon control of a box without an icon and lays the text
    // over its place.
    RECT text{};
    if (GetWindowRect(GetDlgItem(box, 0xFFFF), &text) && text.left <= rect.left) return BoxIcon::None;
    return BoxIcon::Unknown;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.window = box;
    info.caption = WindowText(box);
    info.text = WindowText(GetDlgItem(box, 0xFFFF));  // the static control holding the text
    info.icon = IconOf(box);
    for (HWND child : Children(box))
        if (ClassName(child) == L"Button" && IsWindowVisible(child))
            info.buttons.push_back(WindowText(child));
    return info;
}

}  // namespace

bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

// A Unix path as the Wine side opens it (Wine maps the Unix root to drive Z:);
// a Windows path as it is.
std::wstring WinePath(std::wstring path) {
    if (!path.empty() && path.front() == L'/') {
        for (auto& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

std::wstring WinBuildDir() {
    const std::wstring dir = Environment(L"TARNWICK_WIN_BUILD_DIR");
    if (dir.empty()) throw std::runtime_error("TARNWICK_WIN_BUILD_DIR is not set");
    return WinePath(dir);
}

// A missing program named by TARNWICK_EXE fails the test: quietly testing the
// Windows tree's instead would hide that the other one was never started.
std::wstring TarnwickExe() {
    const std::wstring other = Environment(L"TARNWICK_EXE");
    if (other.empty()) return WinBuildDir() + L"\\ui\\tarnwick.exe";
    const std::wstring exe = WinePath(other);
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
        throw std::runtime_error("TARNWICK_EXE names " + Utf8(exe) + ", which does not exist (not built?)");
    return exe;
}

std::wstring WindowText(HWND window) {
    if (!window) return {};
    wchar_t buffer[4096];
    // WM_GETTEXT reaches across processes, where GetWindowText does not for controls.
    const auto length = SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, static_cast<std::size_t>(length));
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256];
    const int length = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

RECT ClientRect(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindChild(HWND parent, const std::wstring& text, const wchar_t* windowClass) {
    for (HWND child : Children(parent))
        if (WindowText(child) == text && (!windowClass || ClassName(child) == windowClass))
            return child;
    return nullptr;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

namespace {

// A mouse event at `at`. The absolute scale is 65536 per screen; one more
// keeps the rounding on `at`.
INPUT MouseAt(POINT at, DWORD buttons) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(at.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    return input;
}

}  // namespace

POINT CentreOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void MoveMouse(POINT at) {
    INPUT move = MouseAt(at, 0);
    SendInput(1, &move, sizeof move);
}

void ClickAt(POINT at) {
    INPUT events[3] = {MouseAt(at, 0), MouseAt(at, MOUSEEVENTF_LEFTDOWN), MouseAt(at, MOUSEEVENTF_LEFTUP)};
    SendInput(3, events, sizeof(INPUT));
}

void AnswerOk(const MessageBoxInfo& box) {
    PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

Program Program::Launch(const std::wstring& arguments, const std::wstring& exe, const std::wstring& desktop) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    return LaunchWithCommandLine(std::move(commandLine), exe, desktop);
}

Program Program::LaunchWithCommandLine(std::wstring commandLine, const std::wstring& exe,
                                       const std::wstring& desktop) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring desktopName = desktop;
    if (!desktopName.empty()) startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        throw std::runtime_error("cannot start the program under test, error " +
                                 std::to_string(GetLastError()));
    return Program(info.hProcess, info.hThread, info.dwProcessId);
}

Program::Program(HANDLE process, HANDLE thread, DWORD processId)
    : process_(process), thread_(thread), processId_(processId) {}

Program::Program(Program&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      thread_(std::exchange(other.thread_, nullptr)),
      processId_(other.processId_) {}

Program::~Program() {
    if (!process_) return;
    if (Running()) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(thread_);
    CloseHandle(process_);
}

bool Program::Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Program::WaitForExit(DWORD timeoutMs) const {
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

std::vector<HWND> Program::TopLevelWindows() const {
    FindState state{processId_, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.windows;
}

HWND Program::WaitForWindow(const std::wstring& caption, const wchar_t* windowClass,
                            DWORD timeoutMs) const {
    HWND found = nullptr;
    PollUntil(
        [&] {
            for (HWND window : TopLevelWindows())
                if (WindowText(window) == caption && (!windowClass || ClassName(window) == windowClass)) {
                    found = window;
                    return true;
                }
            return !Running();
        },
        timeoutMs);
    return found;
}

HWND Program::WaitForMainWindow(DWORD timeoutMs) const {
    HWND found = nullptr;
    PollUntil(
        [&] {
            for (HWND window : TopLevelWindows())
                if (WindowText(window) == L"Tarnwick" && ClassName(window) != L"#32770") {
                    found = window;
                    return true;
                }
            return !Running();
        },
        timeoutMs);
    return found;
}

std::optional<MessageBoxInfo> Program::FindMessageBox() const {
    for (HWND window : TopLevelWindows())
        if (ClassName(window) == L"#32770" && GetDlgItem(window, 0xFFFF))
            return ReadMessageBox(window);
    return std::nullopt;
}

std::optional<MessageBoxInfo> Program::WaitForMessageBox(DWORD timeoutMs) const {
    std::optional<MessageBoxInfo> box;
    PollUntil(
        [&] {
            box = FindMessageBox();
            // A box just created may not have painted its icon yet.
            return (box.has_value() && box->icon != BoxIcon::Unknown) || !Running();
        },
        timeoutMs);
    if (!box) box = FindMessageBox();
    return box;
}

HWND Program::Focus(HWND anyWindowOfTheThread) const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(anyWindowOfTheThread, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

HWND Program::WaitForFocus(HWND anyWindowOfTheThread, HWND expected, DWORD timeoutMs) const {
    HWND focus = nullptr;
    PollUntil(
        [&] {
            focus = Focus(anyWindowOfTheThread);
            return focus == expected;
        },
        timeoutMs);
    return focus;
}

bool SaveScreenshot(const std::wstring& path) {
    const HWND desktop = GetDesktopWindow();
    RECT rect{};
    GetWindowRect(desktop, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<DWORD>(height));
    const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

}  // namespace tarnwick::bench
