// Per-sheet state shared by sheet registration and the pages. One SheetContext is allocated from
// the driver's heap at a sheet's INIT, handed to the page as its creation parameter, and freed
// at DESTROY. The driver owns everything it points to.
#pragma once

#include <windows.h>
#include <compstui.h>

#include "devmode/private_devmode.h"
#include "platform/oemui.h"
#include "platform/property_sheet_page.h"

namespace pinprint {

// What the secure-print page's PIN edit holds, as far as the page knows.
enum class PinText : DWORD {
    Empty,        // nothing the user typed in this visit (empty, or emptied after a refusal)
    Placeholder,  // the four zeros that stand for the stored digest
    GivenUp,      // the placeholder was emptied when the edit took the focus; nothing typed since
    Typed,        // the user's own text: typed, pasted or committed by an input method
    Stale,        // the edit could not be emptied: what it holds is no PIN the user typed
};

struct SheetContext {
    HANDLE sheetHandle;             // the common property sheet (hComPropSheet at INIT)
    LONG_PTR pageHandle;            // document sheet: the added page's handle, else 0
    POEMUIPSPARAM uiParam;          // the driver's parameters for this sheet
    PFNCOMPROPSHEET sheetCallback;  // the common property sheet's service callback
    DWORD canChange;                // 1 when the user may change this sheet's settings
    DWORD userDefault;              // document sheet: editing the user's defaults
    DWORD perDocument;              // document sheet: secure controls allowed without unlocking
    HMODULE resourceModule;         // templates and strings; owned only when loaded by INIT
    HMODULE ownModule;              // device sheet: this DLL, source of the logo
    HANDLE activationContext;       // the page's Common Controls 6 context, or null; owned
    HWND helpWindow;                // document sheet: window of the last help call
    DWORD pinEdited;                // the PIN edit's text is a new PIN, to be hashed on leaving
    PinText pinText;                // what the PIN edit holds
    DWORD settingText;              // nonzero while the page sets an edit's text itself
    DWORD leaveRefused;             // the last PSN_KILLACTIVE kept the page
};

// What the pages reach through the context: the driver's printer and the private devmode the
// page edits. Null when there is no context or the driver handed no parameter record.
inline HANDLE PrinterOf(const SheetContext* context) {
    return context != nullptr && context->uiParam != nullptr ? context->uiParam->hPrinter : nullptr;
}

inline PrivateDevmode* DevmodeOf(const SheetContext* context) {
    return context != nullptr && context->uiParam != nullptr
               ? static_cast<PrivateDevmode*>(context->uiParam->pOEMDM)
               : nullptr;
}

// The page procedures take the context from the PROPSHEETPAGEW at WM_INITDIALOG and keep it in
// DWLP_USER; these two helpers keep that handshake in one place.
inline SheetContext* ContextFromInitDialog(LPARAM lParam) {
    const auto* page = reinterpret_cast<const PropSheetPageFull*>(lParam);
    return page ? reinterpret_cast<SheetContext*>(page->lParam) : nullptr;
}

inline SheetContext* ContextOf(HWND page) {
    return reinterpret_cast<SheetContext*>(GetWindowLongPtrW(page, DWLP_USER));
}

// A control's text into `text` (`chars` long). False when it cannot be read: GetDlgItemTextW
// answers 0 for an empty text too, and only the error code tells the two apart.
inline bool ReadControlText(HWND page, int id, wchar_t* text, int chars) {
    SetLastError(ERROR_SUCCESS);
    return GetDlgItemTextW(page, id, text, chars) != 0 || GetLastError() == ERROR_SUCCESS;
}

}  // namespace pinprint
