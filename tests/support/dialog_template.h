// The dialog templates of a resource module as the dialog manager reads them: the extended
// template (DLGTEMPLATEEX) and its controls, in template order, which is the tab order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pinprint::test {

struct DialogControl {
    DWORD id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {};          // dialog units
    std::wstring className;  // "Button", "Edit", "Static", ... for the predefined ordinals
    std::wstring text;       // empty for an ordinal title

    // The lower-cased character its text marks with '&', or 0 ("&&" is a plain '&').
    wchar_t Mnemonic() const;
    bool Is(const wchar_t* name) const { return _wcsicmp(className.c_str(), name) == 0; }
    DWORD ButtonType() const { return style & BS_TYPEMASK; }
};

struct DialogTemplate {
    bool ok = false;
    DWORD style = 0;
    SIZE size = {};  // dialog units
    WORD pointSize = 0;
    std::wstring font;
    std::wstring caption;
    std::vector<DialogControl> controls;

    const DialogControl* Find(DWORD id) const;
};

// Template `id` of `module`, in the language the loader picks; `ok` false when it is missing or
// is not an extended template.
DialogTemplate ReadDialogTemplate(HMODULE module, WORD id);

}  // namespace pinprint::test
