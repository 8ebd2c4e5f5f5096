// The dialog procedures of the plug-in's two pages and the sheet entries that add them.
#pragma once

#include <windows.h>
#include <compstui.h>

namespace pinprint {

// Secure-print page of the document sheet (Printing Preferences).
INT_PTR CALLBACK SecurePrintPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// About page of the device sheet (Printer Properties).
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// IPrintOemUI::DocumentPropertySheets and DevicePropertySheets.
HRESULT DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);
HRESULT DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);

}  // namespace pinprint
