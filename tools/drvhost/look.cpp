#include "look.h"

#include <cstdio>

namespace drvhost {
namespace {

constexpr wchar_t kStyleKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";
constexpr wchar_t kSessionColours[] =
    L"Software\\Wine\\Temporary System Parameters\\Control Panel\\Colors";

// The high-contrast colour of a system colour by its registry name: none is a colour of the
// plain look, and no mix of two of them is grey.
const wchar_t* HighContrastColour(const std::wstring& name) {
    const auto has = [&name](const wchar_t* part) { return name.find(part) != std::wstring::npos; };
    return has(L"Text")                                         ? L"255 255 0"
           : has(L"Shadow") || has(L"Light") || has(L"Hilight") ? L"0 255 255"
                                                                : L"0 0 0";
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    return quoted.append(backslashes * 2, L'\\') + L"\"";
}

}  // namespace

bool TakeLook(Args& args, Look& look) {
    for (size_t i = 0; i + 1 < args.size();) {
        const std::wstring& option = args[i];
        const std::wstring& value = args[i + 1];
        if (option == L"--theme" && value == L"light") {
            look.lightStyle = true;
        } else if (option == L"--contrast" && value == L"high") {
            look.highContrast = true;
        } else if (option == L"--dpi" && wcstoul(value.c_str(), nullptr, 10) >= 48) {
            look.dpi = wcstoul(value.c_str(), nullptr, 10);
        } else if (option == L"--theme" || option == L"--contrast" || option == L"--dpi") {
            fwprintf(stderr,
                     L"drvhost: %ls %ls: there is --theme light, --contrast high and "
                     L"--dpi 48 or more\n",
                     option.c_str(), value.c_str());
            return false;
        } else {
            ++i;
            continue;
        }
        args.erase(args.begin() + static_cast<ptrdiff_t>(i), args.begin() + i + 2);
    }
    return true;
}

ScopedLook::ScopedLook(const Look& look) {
    if (look.lightStyle) {
        Set(kStyleKey, L"DllName", L"C:\\windows\\resources\\themes\\light\\light.msstyles");
        Set(kStyleKey, L"ColorName", L"Blue");
        Set(kStyleKey, L"SizeName", L"NormalSize");
        Set(kStyleKey, L"ThemeActive", L"1");
    }
    HKEY colours = nullptr;
    if (look.highContrast && RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Colors", 0, KEY_READ,
                                           &colours) == ERROR_SUCCESS) {
        wchar_t name[64];
        for (DWORD i = 0, chars = 64; RegEnumValueW(colours, i, name, &chars, nullptr, nullptr,
                                                    nullptr, nullptr) == ERROR_SUCCESS;
             ++i, chars = 64) {
            Set(kSessionColours, name, HighContrastColour(name));
        }
        RegCloseKey(colours);
    }
    if (look.dpi != 0) {
        Set(L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &look.dpi, sizeof(look.dpi));
    }
}

ScopedLook::~ScopedLook() {
    // The last change first, so that a value set twice ends as it was before the first.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->existed) {
            RegSetKeyValueW(HKEY_CURRENT_USER, it->key.c_str(), it->name.c_str(), it->type,
                            it->data.data(), static_cast<DWORD>(it->data.size()));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, it->key.c_str(), it->name.c_str());
        }
    }
}

void ScopedLook::Set(const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    Set(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void ScopedLook::Set(const wchar_t* key, const wchar_t* name, DWORD type, const void* data,
                     DWORD bytes) {
    Saved saved;
    saved.key = key;
    saved.name = name;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &saved.type, nullptr,
                     &size) == ERROR_SUCCESS) {
        saved.data.resize(size);
        saved.existed = RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND,
                                     &saved.type, saved.data.data(), &size) == ERROR_SUCCESS;
        saved.data.resize(size);
    }
    if (RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, data, bytes) == ERROR_SUCCESS) {
        saved_.push_back(std::move(saved));
    }
}

int RunSelfInLook(const Look& look, const std::wstring& command, const Args& args) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = Quoted(self) + L" " + Quoted(command);
    for (const std::wstring& arg : args) {
        line += L" " + Quoted(arg);
    }
    const ScopedLook scoped(look);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fwprintf(stderr, L"drvhost: cannot start itself again (error %lu)\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace drvhost
