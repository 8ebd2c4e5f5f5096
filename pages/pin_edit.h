// The secure-print page's PIN edit: what it holds and every change to it. The edit never shows a
// stored PIN: four zeros (the placeholder) stand for the stored digest, and only digits the user
// typed in this visit make a new PIN, which leaving the page hashes. This file alone writes the
// context's `pinText` and `pinEdited`; the page and the leaving check ask and tell it here.
#pragma once

#include <windows.h>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"

namespace pinprint {

// Limits the edit to four characters and shows the placeholder when secure printing is on with
// a stored digest. False when the edit stands for no stored PIN.
bool SetUpPinEdit(HWND page, SheetContext* context, const PrivateDevmode& devmode);

// Subclasses the edit with PinEditProc; the previous procedure must have been saved.
void InstallPinEditFilter(HWND page);

// The user changed the edit's text (EN_UPDATE not caused by the page itself).
void NotePinTyped(SheetContext* context);

// The edit shows the placeholder for the stored digest; its text is no new PIN.
void ShowPinPlaceholder(HWND page, SheetContext* context);

// Empties the edit for a new PIN to be typed; `state` says what was given up. An edit that
// cannot be emptied is Stale until it can.
void EmptyPinEdit(HWND page, SheetContext* context, PinText state);

// A refused PIN is typed again from the start.
inline void EmptyPinForRetyping(HWND page, SheetContext* context) {
    EmptyPinEdit(page, context, PinText::Empty);
}

// The stored digest was dropped: a placeholder that stood for it goes too.
void ForgetStoredPin(HWND page, SheetContext* context);

// The user only passed through the edit (gave up the placeholder, typed nothing) and a digest
// is stored: the placeholder comes back and the stored PIN stays. False otherwise.
bool KeepStoredPin(HWND page, SheetContext* context, const wchar_t* pin,
                   const PrivateDevmode& devmode);

// The edit's text is a new PIN of the user's, to be hashed on leaving.
inline bool HoldsNewPin(const SheetContext* context) {
    return context->pinEdited != 0;
}

// The edit could not be emptied: what it holds is no PIN the user typed.
inline bool PinEditIsStale(const SheetContext* context) {
    return context->pinText == PinText::Stale;
}

// The edit's window procedure: gaining the focus without the user's digits in it empties it
// for a new PIN; from the keyboard or an input method it takes digits only.
LRESULT CALLBACK PinEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pinprint
