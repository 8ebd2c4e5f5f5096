// The driver's side of Printing Preferences and Printer Properties, built the way the PostScript
// driver builds them: a sheet function of the driver's own handed to compstui's
// CommonPropertySheetUIW, which adds the plug-in's entry with CPSFUNC_ADD_PFNPROPSHEETUIW and
// forwards every reason to IPrintOemUI::DocumentPropertySheets or DevicePropertySheets with the
// driver's OEMUIPSPARAM.
//
// The driver host and the tests open the sheets through this same code.
#pragma once

#include <windows.h>
#include <compstui.h>

#include <functional>
#include <string>

#include "driver_side.h"

namespace drvhost {

// OEMUIPSPARAM heads the record handed to the plug-in's entry as lParamInit, so that the
// forwarding function finds the plug-in from it, as the driver finds its own data.
struct PluginEntryParam {
    OEMUIPSPARAM uiParam = {};
    IPrintOemUI* plugin = nullptr;
    SheetKind kind = SheetKind::Document;
    HRESULT initResult = S_OK;   // what the plug-in's INIT returned
    ULONG_PTR initUserData = 0;  // and left in UserData (its sheet context)
    ULONG_PTR initResultValue = 0;
};

struct DriverSheet {
    PluginEntryParam entry = {};
    std::wstring title;
    // Runs on the sheet's thread once, when the sheet window is shown and painted.
    std::function<void(HWND sheet)> onShown;
    // Milliseconds after showing when the sheet is closed with OK (0: at once); kLeaveOpen
    // leaves it to the person.
    static constexpr DWORD kLeaveOpen = INFINITE;
    DWORD closeAfterMs = kLeaveOpen;
    // How often the sheet is looked for and its closing timed.
    DWORD watchEveryMs = 100;
    // A page of the caller's own, added after the driver's page and before the plug-in's (a
    // bench's bare page in the plug-in's place); null for none.
    const PROPSHEETPAGEW* extraPage = nullptr;
    // CommonPropertySheetUIW's own result and the value it reports through its last argument.
    LONG sheetResult = 0;
    DWORD reportedResult = 0;
    bool pluginEntryAdded = false;
};

namespace detail {

// The driver's sheet function handed to CommonPropertySheetUIW, with the DriverSheet as its
// lParamInit.
LONG CALLBACK DriverSheetFunction(PPROPSHEETUI_INFO info, LPARAM lParam);
// The sheet window of this thread: a visible top-level dialog holding a tab control.
HWND FindSheetWindow();
// Ends the dialogs this thread shows besides the sheet (a page's warning box).
void DismissOtherDialogs(HWND sheet);
// Clicks the sheet's last tab, the plug-in's page after the driver's own, as a user would.
void ClickLastTab(HWND sheet);

}  // namespace detail

// The page the sheet shows.
HWND CurrentPage(HWND sheet);

// Opens the sheet modally on this thread through compstui and returns once it is closed.
// False when compstui cannot be loaded.
bool OpenDriverSheet(DriverSheet& sheet);

}  // namespace drvhost
