// The dialog procedures of the plug-in's two pages.
#pragma once

#include <windows.h>

namespace pinprint {

// Secure-print page of the document sheet (Printing Preferences).
INT_PTR CALLBACK SecurePrintPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// About page of the device sheet (Printer Properties).
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pinprint
