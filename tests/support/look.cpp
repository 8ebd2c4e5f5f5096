#include "support/look.h"

#include <memory>

#include "platform/unique_handle.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

constexpr wchar_t kCopyVariable[] = L"PINPRINT_LOOK_COPY";
constexpr wchar_t kStyleKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager";
// Where Wine keeps the colours a program sets for the session alone.
constexpr wchar_t kSessionColoursKey[] =
    L"Software\\Wine\\Temporary System Parameters\\Control Panel\\Colors";

// The high-contrast colour of a system colour by its registry name: none is a colour of the
// plain look, and no mix of two of them is grey.
COLORREF HighContrastColour(const std::wstring& name) {
    if (name.find(L"Text") != std::wstring::npos) {
        return RGB(255, 255, 0);
    }
    const bool edge = name.find(L"Shadow") != std::wstring::npos ||
                      name.find(L"Light") != std::wstring::npos ||
                      name.find(L"Hilight") != std::wstring::npos;
    return edge ? RGB(0, 255, 255) : RGB(0, 0, 0);
}

}  // namespace

ScopedUserValue::ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD type,
                                 const void* data, DWORD bytes)
    : name_(name), type_(type) {
    RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                    &key_, nullptr);
    DWORD size = 0;
    hadValue_ = RegQueryValueExW(key_, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    previous_.resize(size);
    if (hadValue_) {
        RegQueryValueExW(key_, name, nullptr, &type_, previous_.data(), &size);
    }
    RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes);
}

ScopedUserValue::~ScopedUserValue() {
    if (hadValue_) {
        RegSetValueExW(key_, name_.c_str(), 0, type_, previous_.data(),
                       static_cast<DWORD>(previous_.size()));
    } else {
        RegDeleteValueW(key_, name_.c_str());
    }
    RegCloseKey(key_);
}

ChildResult RunInLook(const Look& look, const std::wstring& arguments) {
    std::vector<std::unique_ptr<ScopedUserValue>> values;
    const auto text = [&values](const wchar_t* key, const wchar_t* name, const std::wstring& v) {
        values.push_back(std::make_unique<ScopedUserValue>(
            key, name, REG_SZ, v.c_str(), static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))));
    };
    if (look.lightStyle) {
        text(kStyleKey, L"DllName", L"C:\\windows\\resources\\themes\\light\\light.msstyles");
        text(kStyleKey, L"ThemeActive", L"1");
    }
    if (look.highContrast) {
        UniqueRegKey colours;
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Colors", 0, KEY_READ, colours.put());
        wchar_t name[64];
        for (DWORD i = 0, chars = 64; RegEnumValueW(colours.get(), i, name, &chars, nullptr,
                                                    nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, chars = 64) {
            const COLORREF c = HighContrastColour(name);
            text(kSessionColoursKey, name,
                 std::to_wstring(GetRValue(c)) + L" " + std::to_wstring(GetGValue(c)) + L" " +
                     std::to_wstring(GetBValue(c)));
        }
    }
    if (look.dpi != 0) {
        values.push_back(std::make_unique<ScopedUserValue>(L"Control Panel\\Desktop", L"LogPixels",
                                                           REG_DWORD, &look.dpi, sizeof(look.dpi)));
    }
    SetEnvironmentVariableW(kCopyVariable, L"1");
    ChildResult copy = RunChild(OwnPath(), arguments);
    SetEnvironmentVariableW(kCopyVariable, nullptr);
    return copy;
}

bool IsLookCopy() {
    return GetEnvironmentVariableW(kCopyVariable, nullptr, 0) != 0;
}

HostManifest::HostManifest() {
    const std::wstring host = BinPath(L"drvhost.exe");
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = host.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    context_ = CreateActCtxW(&request);
    if (context_ != INVALID_HANDLE_VALUE && !ActivateActCtx(context_, &cookie_)) {
        cookie_ = 0;
    }
}

HostManifest::~HostManifest() {
    if (cookie_ != 0) {
        DeactivateActCtx(0, cookie_);
    }
    if (context_ != INVALID_HANDLE_VALUE) {
        ReleaseActCtx(context_);
    }
}

std::vector<uint32_t> CaptureWindow(HWND window, SIZE& size) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    size = {rect.right - rect.left, rect.bottom - rect.top};
    std::vector<uint32_t> pixels(static_cast<size_t>(size.cx) * size.cy);
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(format.bmiHeader), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, size.cx, size.cy);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    GetDIBits(memory, bitmap, 0, size.cy, pixels.data(), &format, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return pixels;
}

}  // namespace pinprint::test
