#include "pages/pin_edit.h"

#include "pages/format_bounded.h"
#include "pages/name_filters.h"
#include "pages/secure_print_page.h"
#include "resmodule/resource_ids.h"

namespace pinprint {

namespace {

constexpr int kPinLimit = 4;

// From the keyboard the PIN takes digits and editing keys only; pasted text is checked when the
// page is left.
bool IsPinCharacter(HWND, wchar_t c) {
    return c < L' ' || (c >= L'0' && c <= L'9');
}

}  // namespace

bool SetUpPinEdit(HWND page, SheetContext* context, const PrivateDevmode& devmode) {
    SendDlgItemMessageW(page, IDC_PIN_EDIT, EM_LIMITTEXT, kPinLimit, 0);
    if (devmode.secureEnabled == 0 || !HasPinDigest(devmode)) {
        return false;
    }
    ShowPinPlaceholder(page, context);
    return true;
}

void InstallPinEditFilter(HWND page) {
    SetWindowLongPtrW(GetDlgItem(page, IDC_PIN_EDIT), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(PinEditProc));
}

void NotePinTyped(SheetContext* context) {
    // Digits typed behind text that could not be emptied make no PIN of the user's.
    if (context->pinText != PinText::Stale) {
        context->pinText = PinText::Typed;
        context->pinEdited = 1;
    }
}

void ShowPinPlaceholder(HWND page, SheetContext* context) {
    // Four zeros stand for the stored digest; the PIN itself is never kept.
    wchar_t placeholder[5] = {};
    FormatBounded(placeholder, sizeof(placeholder), L"%04d", 0);
    SetEditText(page, context, IDC_PIN_EDIT, placeholder);
    context->pinText = PinText::Placeholder;
    context->pinEdited = 0;
}

void EmptyPinEdit(HWND page, SheetContext* context, PinText state) {
    context->pinText = SetEditText(page, context, IDC_PIN_EDIT, L"") ? state : PinText::Stale;
    context->pinEdited = 1;
}

void ForgetStoredPin(HWND page, SheetContext* context) {
    if (context->pinText == PinText::Placeholder || context->pinText == PinText::GivenUp) {
        EmptyPinEdit(page, context, PinText::Empty);
    }
}

bool KeepStoredPin(HWND page, SheetContext* context, const wchar_t* pin,
                   const PrivateDevmode& devmode) {
    if (pin[0] != L'\0' || context->pinText != PinText::GivenUp || !HasPinDigest(devmode)) {
        return false;
    }
    ShowPinPlaceholder(page, context);
    return true;
}

LRESULT CALLBACK PinEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    // The state belongs to this page: another page's focus must never make this page's
    // placeholder count as a newly typed PIN.
    SheetContext* context = message == WM_SETFOCUS ? ContextOf(GetParent(edit)) : nullptr;
    if (context != nullptr) {
        // The focus comes back after every warning box and every return to the sheet: only an
        // edit that holds none of the user's digits starts over for a new PIN.
        const PinText held = context->pinText;
        if (held != PinText::Typed || GetWindowTextLengthW(edit) == 0) {
            const bool placeholder = held == PinText::Placeholder || held == PinText::GivenUp;
            EmptyPinEdit(GetParent(edit), context, placeholder ? PinText::GivenUp : PinText::Empty);
        }
    }
    return FilterCharacters(SavedPinProc(), IsPinCharacter, edit, message, wParam, lParam);
}

}  // namespace pinprint
