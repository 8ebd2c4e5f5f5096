// Character filters of the secure-print page's two name edits. The user and job names travel
// with every secure job, so characters that the printer side cannot take are kept out as they
// are typed; pasting is refused altogether. Each edit is subclassed with a filter procedure that
// forwards everything it does not refuse to the edit's previous window procedure.
#pragma once

#include <windows.h>

namespace pinprint {

// Name limits in characters: full filters, short filters (DRVOPT_SHORT_NAMES).
inline constexpr int kFullNameLimit = 80;
inline constexpr int kShortNameLimit = 20;

// The edits' previous window procedures. One slot each, shared by every page in the process,
// filled only by a page's first initialization so that a filter never forwards to itself.
extern WNDPROC savedUserNameProc;
extern WNDPROC savedJobNameProc;
extern WNDPROC savedPinProc;

// Fills the three slots from the page's user-name, job-name and PIN edits.
void SaveEditProcedures(HWND page);

// Limits both name edits and installs the short or full filter pair on them.
void InstallNameFilters(HWND page, bool shortNames);

// The eleven punctuation characters no name may hold.
bool IsRefusedNameCharacter(wchar_t c);

// True when `c` has a one-byte form in the system's ANSI code page that converts back to `c`.
bool PassesAnsiTest(wchar_t c);

LRESULT CALLBACK FullUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FullJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ShortUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ShortJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pinprint
