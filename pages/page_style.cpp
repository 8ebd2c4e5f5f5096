#include "pages/page_style.h"

#include <uxtheme.h>

#include "module/plugin_module.h"
#include "platform/proc_address.h"

namespace pinprint {

HANDLE CreatePageActivationContext() {
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = OwnModuleHandle();
    request.lpResourceName = ISOLATIONAWARE_NOSTATICIMPORT_MANIFEST_RESOURCE_ID;
    const HANDLE created = CreateActCtxW(&request);
    return created != INVALID_HANDLE_VALUE ? created : nullptr;
}

bool ShowsTabBackground(HWND page) {
    return page != nullptr && IsAppThemed() && IsThemeDialogTextureEnabled(page);
}

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    UINT dpi = 0;
    if (const HMODULE user32 = LoadLibraryW(L"user32.dll")) {
        if (const auto getDpi = ProcAddress<GetDpiForWindowFn>(user32, "GetDpiForWindow")) {
            dpi = getDpi(window);
        }
        FreeLibrary(user32);
    }
    if (dpi == 0) {
        if (const HDC dc = GetDC(window)) {
            dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
            ReleaseDC(window, dc);
        }
    }
    return dpi != 0 ? dpi : kDefaultDpi;
}

}  // namespace pinprint
