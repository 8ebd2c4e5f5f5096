// A predefined registry key of this process (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE) pointed at
// an empty key of the test's own under HKEY_CURRENT_USER for one scope; the key goes with it.
#pragma once

#include <windows.h>

#include <string>

namespace pinprint::test {

class KeyOverride {
  public:
    KeyOverride(HKEY predefined, std::wstring path) : predefined_(predefined), path_(path) {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ok_ = RegCreateKeyW(HKEY_CURRENT_USER, path_.c_str(), &root_) == ERROR_SUCCESS &&
              RegOverridePredefKey(predefined_, root_) == ERROR_SUCCESS;
    }
    ~KeyOverride() {
        End();
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    KeyOverride(const KeyOverride&) = delete;
    KeyOverride& operator=(const KeyOverride&) = delete;

    bool ok() const { return ok_; }
    HKEY root() const { return root_; }
    // Gives the process its own key back before the scope ends.
    void End() const { RegOverridePredefKey(predefined_, nullptr); }
    // A string value of `subkey` (made as needed) in the key of the test's own.
    bool SetString(const wchar_t* subkey, const wchar_t* value, const wchar_t* text,
                   DWORD type = REG_SZ) const {
        return RegSetKeyValueW(root_, subkey, value, type, text,
                               static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

  private:
    HKEY predefined_;
    std::wstring path_;
    HKEY root_ = nullptr;
    bool ok_ = false;
};

}  // namespace pinprint::test
