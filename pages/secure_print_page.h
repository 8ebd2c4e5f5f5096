// The secure-print page's own operations, beside its dialog procedure (pages/page_procs.h).
#pragma once

#include <windows.h>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"

namespace pinprint {

// Brings the devmode within the record's invariants, then sets every control from it and the
// options word. `firstTime` is TRUE at
// WM_INITDIALOG and FALSE when the unlock gesture lays the page out again.
void InitSecurePrintPage(HWND page, SheetContext* context, PrivateDevmode* devmode, BOOL firstTime);

// Paints an owner-drawn control of the page; control 2413 gets its separator line.
void DrawSeparator(const DRAWITEMSTRUCT* item);

// Enable or hide each control whose id runs from `first` to `last` inclusive.
void EnableControlRange(HWND page, UINT first, UINT last, BOOL enable);
void HideControlRange(HWND page, UINT first, UINT last);

// Sets an edit's text without it counting as a change of the user's. FALSE when it could not.
BOOL SetEditText(HWND page, SheetContext* context, int id, const wchar_t* text);

}  // namespace pinprint
