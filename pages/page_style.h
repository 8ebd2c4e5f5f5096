// How the pages follow the system's look: the visual style (Common Controls 6 through the
// plug-in's own activation context, which the sheet activates around the page, and the sheet's
// tab background under a style) and the window's DPI. The colours the pages draw are the system's
// own (GetSysColor), so a high-contrast scheme reaches them without a test of its own.
#pragma once

#include <windows.h>

namespace pinprint {

// An activation context made from this DLL's manifest (Common Controls 6); null when it cannot
// be made. The caller releases it with ReleaseActCtx.
HANDLE CreatePageActivationContext();

// The sheet draws the tab's own background (a visual style's texture) behind the page.
bool ShowsTabBackground(HWND page);

// The DPI `window` is drawn at: GetDpiForWindow where the system has it (Windows 10, 1607 on),
// else the window's device context's LOGPIXELSY; 96 when neither answers.
UINT WindowDpi(HWND window);

// The DPI the pages are laid out for; other DPIs scale from it.
inline constexpr UINT kDefaultDpi = 96;

// `pixels` (not negative) at 96 DPI, at `dpi`, rounded.
inline int ScaleToDpi(int pixels, UINT dpi) {
    return (pixels * static_cast<int>(dpi) + static_cast<int>(kDefaultDpi) / 2) /
           static_cast<int>(kDefaultDpi);
}

}  // namespace pinprint
