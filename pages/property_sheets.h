// The plug-in object's two sheet entries: one SheetContext per sheet, created at INIT from the
// driver's heap, and the secure-print or About page added through the sheet's callback.
#pragma once

#include <windows.h>
#include <compstui.h>

namespace pinprint {

// IPrintOemUI::DocumentPropertySheets (Printing Preferences) and DevicePropertySheets (Printer
// Properties).
HRESULT DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);
HRESULT DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);

}  // namespace pinprint
