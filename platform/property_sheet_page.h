// The current PROPSHEETPAGEW record. MinGW-w64's prsht.h stops at hActCtx (96 bytes on x64)
// whatever _WIN32_IE says; the platform's record goes on with the header-bitmap union, and the
// sheet reads dwSize to know which members exist, so the page handed over carries them all.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <cstddef>

namespace pinprint {

struct PropSheetPageFull {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    union {
        LPCWSTR pszTemplate;
        PROPSHEETPAGE_RESOURCE pResource;
    };
    union {
        HICON hIcon;
        LPCWSTR pszIcon;
    };
    LPCWSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKW pfnCallback;
    UINT* pcRefParent;
    LPCWSTR pszHeaderTitle;
    LPCWSTR pszHeaderSubTitle;
    HANDLE hActCtx;
    union {
        HBITMAP hbmHeader;
        LPCWSTR pszbmHeader;
    };
};

// Same prefix as the SDK's record, so a page procedure may read either.
static_assert(offsetof(PropSheetPageFull, lParam) == offsetof(PROPSHEETPAGEW, lParam));
static_assert(offsetof(PropSheetPageFull, hActCtx) == offsetof(PROPSHEETPAGEW, hActCtx));
#if defined(_WIN64)
static_assert(offsetof(PropSheetPageFull, pfnDlgProc) == 40);
static_assert(offsetof(PropSheetPageFull, lParam) == 48);
static_assert(offsetof(PropSheetPageFull, hbmHeader) == 96);
static_assert(sizeof(PropSheetPageFull) == 104);
#else
static_assert(sizeof(PropSheetPageFull) == 52);
#endif

}  // namespace pinprint
