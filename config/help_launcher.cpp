#include "config/help_launcher.h"

#include <cstring>

#include "platform/proc_address.h"
#include "platform/unique_handle.h"

namespace pinprint {
namespace {

constexpr char kHelpControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr char kHelpControlFile[] = "hhctrl.ocx";
constexpr WORD kHtmlHelpOrdinal = 15;  // HtmlHelpW
constexpr DWORD kNarrowPathBytes = MAX_PATH;

using HtmlHelpEntry = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// Process-wide and never released: the control stays loaded for the life of the process, and
// a control that could not be loaded is not looked for again.
HMODULE helpModule = nullptr;
HtmlHelpEntry helpEntry = nullptr;
LONG helpUnavailable = 0;

// The control by its name, from the system folder only: a bare name would be looked for in the
// printing application's own folder first, where anyone could have put a DLL of that name.
HMODULE LoadSystemHelpControl() {
    char path[kNarrowPathBytes];
    const UINT length = GetSystemDirectoryA(path, kNarrowPathBytes);
    // Room for the backslash, the name and its NUL.
    const size_t room = kNarrowPathBytes - 1 - sizeof(kHelpControlFile);
    if (length == 0 || length > room) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, kHelpControlFile, sizeof(kHelpControlFile));
    // The control's own imports are then looked for beside it, in the system folder, too.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Whether `path` names its file from a drive's root or a share ("C:\...", "\\server\..."). The
// loader looks any other path up from the current folder or along the search path, which
// starts in the printing program's own folder.
bool IsFullyQualified(const char* path) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    return (letter(path[0]) && path[1] == ':' && separator(path[2])) ||
           (separator(path[0]) && separator(path[1]));
}

}  // namespace

int FindHelpControlPath(char* path) {
    if (path == nullptr) {
        return 0;
    }
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHelpControlKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return 0;
    }
    const UniqueRegKey key(opened);
    // Cleared first, so that a value stored without its terminator still ends in the buffer.
    char value[kNarrowPathBytes] = {};
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(value),
                         &size) != ERROR_SUCCESS) {
        return 0;
    }
    value[kNarrowPathBytes - 1] = '\0';
    if (type == REG_EXPAND_SZ) {
        // Expanded into room of our own: the narrow expansion may want a byte beyond the size
        // it is given, and the caller's buffer ends at 260 bytes.
        char expanded[kNarrowPathBytes + 2] = {};
        const DWORD needed = ExpandEnvironmentStringsA(value, expanded, kNarrowPathBytes);
        if (needed < 1 || needed > kNarrowPathBytes ||
            strnlen(expanded, kNarrowPathBytes) >= kNarrowPathBytes ||
            !IsFullyQualified(expanded)) {
            return 0;
        }
        std::memcpy(path, expanded, strnlen(expanded, kNarrowPathBytes) + 1);
        return 1;
    }
    if (!IsFullyQualified(value)) {
        return 0;
    }
    std::memcpy(path, value, strnlen(value, kNarrowPathBytes - 1) + 1);
    return 1;
}

HWND CallHtmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) {
    if (helpModule == nullptr && helpUnavailable == 0) {
        char path[kNarrowPathBytes];
        if (FindHelpControlPath(path)) {
            // Its own imports from beside it, never from the printing program's folder.
            helpModule = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
        if (helpModule == nullptr) {
            helpModule = LoadSystemHelpControl();
        }
        if (helpModule == nullptr) {
            helpUnavailable = 1;
            return nullptr;
        }
    }
    if (helpModule == nullptr) {
        return nullptr;
    }
    if (helpEntry == nullptr) {
        helpEntry = ProcAddress<HtmlHelpEntry>(helpModule, MAKEINTRESOURCEA(kHtmlHelpOrdinal));
        if (helpEntry == nullptr) {
            helpUnavailable = 1;
            return nullptr;
        }
    }
    return helpEntry(caller, file, command, data);
}

}  // namespace pinprint
