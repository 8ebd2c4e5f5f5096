// Launching HTML Help through the platform's help control, which the plug-in loads on first use
// and keeps for the life of the process.
#pragma once

#include <windows.h>

namespace pinprint {

// HtmlHelpW commands used by the pages.
inline constexpr UINT kHelpDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
inline constexpr UINT kHelpCloseAll = 0x0012;      // HH_CLOSE_ALL

// The help control's registered server file (narrow path, 260 bytes); 1 when found, else 0.
// Only a fully qualified path is taken ("C:\...", "\\server\..."): a name or a relative path
// would be looked for in the printing program's folder, so the caller loads the system
// folder's control instead.
int FindHelpControlPath(char* path);

// Passes its arguments to the control's HtmlHelpW; null when the control cannot be used.
HWND CallHtmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data);

}  // namespace pinprint
