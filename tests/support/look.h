// The pages in another look: the Light visual style, a high-contrast scheme, another DPI. Wine
// reads each when a program starts, so a test sets it in the session's prefix, starts a copy of
// itself, and puts every value back once the copy has ended. (The session's start puts the style
// and the DPI back as well, and the scheme lives in a key that ends with the session.)
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace pinprint::test {

// A value under HKEY_CURRENT_USER set for one scope, then put back as it was or removed.
class ScopedUserValue {
  public:
    ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data,
                    DWORD bytes);
    ~ScopedUserValue();
    ScopedUserValue(const ScopedUserValue&) = delete;
    ScopedUserValue& operator=(const ScopedUserValue&) = delete;

  private:
    HKEY key_ = nullptr;
    std::wstring name_;
    DWORD type_ = 0;
    std::vector<BYTE> previous_;
    bool hadValue_ = false;
};

struct Look {
    bool lightStyle = false;
    bool highContrast = false;  // yellow text on black, with cyan edges
    DWORD dpi = 0;              // 0: the session's
};

// Runs this program again with `arguments` in `look`; in the copy, IsLookCopy() is true.
ChildResult RunInLook(const Look& look, const std::wstring& arguments);
bool IsLookCopy();

// The printing program's Common Controls 6 manifest (drvhost.exe's) active on this thread for
// one scope: the sheets opened meanwhile are those of a program that asks for visual styles.
class HostManifest {
  public:
    HostManifest();
    ~HostManifest();
    HostManifest(const HostManifest&) = delete;
    HostManifest& operator=(const HostManifest&) = delete;
    bool ok() const { return cookie_ != 0; }

  private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

// What `window` shows on the screen, frame and children included: 0x00RRGGBB, rows from the top.
std::vector<uint32_t> CaptureWindow(HWND window, SIZE& size);

}  // namespace pinprint::test
