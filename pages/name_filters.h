// Character filters of the secure-print page's edits. The user and job names travel with every
// secure job, so characters that the printer side cannot take are kept out as they are typed;
// pasting into them is refused altogether. The PIN edit takes digits only from the keyboard.
// Each edit is subclassed with a filter procedure that forwards everything it does not refuse
// to the edit's previous window procedure. Characters reach an edit in three ways, and all
// three pass the same rule: WM_CHAR from the keyboard, WM_IME_CHAR, and an input method's
// result string (WM_IME_COMPOSITION with GCS_RESULTSTR), which an edit would otherwise insert
// without any WM_CHAR.
#pragma once

#include <windows.h>

#include "rules/name_rules.h"

namespace pinprint {

// Fills the three saved-procedure slots from the page's user-name, job-name and PIN edits.
// One slot each, shared by every page of the calling thread, filled only by a page's first
// initialization so that a filter never forwards to itself. False when the thread's slots cannot
// be had: no filter may then be installed, since it would have nothing to forward to.
bool SaveEditProcedures(HWND page);

// Gives the slots back to the platform; the module calls it when it is unloaded.
void FreeEditProcedureSlots();

// The PIN edit's previous window procedure, for PinEditProc to forward to.
WNDPROC SavedPinProc();

// Limits both name edits and installs the short or full filter pair on them.
void InstallNameFilters(HWND page, bool shortNames);

// Whether a character may go into `edit`.
using CharacterRule = bool (*)(HWND edit, wchar_t c);

// Passes WM_CHAR, WM_IME_CHAR and an input method's result string through `rule`: refused
// characters are dropped, accepted ones reach the edit through `previous`. Every other message
// is forwarded unchanged.
LRESULT FilterCharacters(WNDPROC previous, CharacterRule rule, HWND edit, UINT message,
                         WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK FullUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FullJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ShortUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ShortJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pinprint
