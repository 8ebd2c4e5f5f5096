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
#include <vector>

#include "platform/oemui.h"

namespace drvhost {

enum class SheetKind { Document, Device };

// OEMUIPSPARAM heads the record handed to the plug-in's entry as lParamInit, so that the
// forwarding function finds the plug-in from it, as the driver finds its own data.
struct PluginEntryParam {
    OEMUIPSPARAM uiParam;
    IPrintOemUI* plugin;
    SheetKind kind;
    HRESULT initResult;      // what the plug-in's INIT returned
    ULONG_PTR initUserData;  // and left in UserData (its sheet context)
    ULONG_PTR initResultValue;
};

struct DriverSheet {
    PluginEntryParam entry = {};
    std::wstring title;
    // Runs on the sheet's thread once, when the sheet window is shown and painted.
    std::function<void(HWND sheet)> onShown;
    // Milliseconds after showing when the sheet is closed with OK; 0 leaves it to the person.
    DWORD closeAfterMs = 0;
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

// Fills the driver's parameters for the plug-in as the PostScript driver does: the printer and
// its name, the plug-in's module, the driver's heap, and the devmode, whose private block follows
// its public part. `printerName` and `devmode` must outlive the sheet.
void SetDriverParameters(DriverSheet& sheet, HANDLE printer, const std::wstring& printerName,
                         HMODULE module, HANDLE heap, std::vector<BYTE>& devmode,
                         IPrintOemUI* plugin, SheetKind kind);

// The page the sheet shows.
HWND CurrentPage(HWND sheet);

// Blocks allocated from `heap` and not yet freed.
int HeapBlocksInUse(HANDLE heap);

// Opens the sheet modally on this thread through compstui and returns once it is closed.
// False when compstui cannot be loaded.
bool OpenDriverSheet(DriverSheet& sheet);

}  // namespace drvhost
