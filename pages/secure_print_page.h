// The secure-print page's own operations, beside its dialog procedure (pages/page_procs.h).
#pragma once

#include <windows.h>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"

namespace pinprint {

// Sets every control from the devmode and the options word. `firstTime` is TRUE at
// WM_INITDIALOG and FALSE when the unlock gesture lays the page out again.
void InitSecurePrintPage(HWND page, SheetContext* context, PrivateDevmode* devmode, BOOL firstTime);

// Paints an owner-drawn control of the page; control 2413 gets its separator line.
void DrawSeparator(const DRAWITEMSTRUCT* item);

// Enable or hide each control whose id runs from `first` to `last` inclusive.
void EnableControlRange(HWND page, UINT first, UINT last, BOOL enable);
void HideControlRange(HWND page, UINT first, UINT last);

// The PIN edit's window procedure: its first focus empties it and marks the PIN as new.
LRESULT CALLBACK PinEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pinprint
