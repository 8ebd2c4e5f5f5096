// Leaving the secure-print page: the PIN and name checks with their warnings, the PIN digest,
// and the copy of the names into the private devmode.
#pragma once

#include <windows.h>

#include "pages/sheet_context.h"
#include "rules/pin_digest.h"

namespace pinprint {

// Buffer sizes in characters, terminator included.
inline constexpr int kPinTextChars = 5;
inline constexpr int kNameTextChars = 81;

// The PSN_KILLACTIVE branch of the page procedure: TRUE (with DWLP_MSGRESULT TRUE) keeps the
// page, FALSE lets it go.
INT_PTR LeaveSecurePrintPage(HWND page, SheetContext* context);

// TRUE for exactly four characters '0'..'9' in an edit that was emptied before they were typed;
// otherwise the PIN warning, and the PIN edit emptied for the PIN to be typed again, with the
// focus.
BOOL CheckPin(HWND page, SheetContext* context, const wchar_t* pin);

// TRUE when both names are non-empty; otherwise the warning for the first empty (or null) one
// and the focus on its edit.
BOOL CheckNames(HWND page, SheetContext* context, const wchar_t* userName, const wchar_t* jobName);

// A warning box owned by the page, laid out right to left when the page is.
void ShowWarning(HWND page, const wchar_t* text, const wchar_t* caption);

}  // namespace pinprint
