#include "pages/secure_page_leave.h"

#include "config/driver_options.h"
#include "devmode/private_devmode.h"
#include "pages/pin_edit.h"
#include "pages/strip_mnemonic.h"
#include "resmodule/resource_ids.h"
#include "rules/pin_digest.h"

namespace pinprint {

namespace {

constexpr int kMessageChars = 256;
constexpr int kPinCaptionChars = 64;
constexpr int kNameCaptionChars = 256;

// A string the resource module lacks reads as empty; without a module there is nothing to read
// (a null instance would mean the host program's own strings).
void LoadPageString(const SheetContext* context, UINT id, wchar_t* buffer, int chars) {
    buffer[0] = L'\0';
    if (context->resourceModule != nullptr &&
        LoadStringW(context->resourceModule, id, buffer, chars) <= 0) {
        buffer[0] = L'\0';
    }
}

// The focus goes to the offending edit; a refused PIN is typed again from the start.
void FocusAfterWarning(HWND page, SheetContext* context, int focusId) {
    if (focusId == IDC_PIN_EDIT) {
        EmptyPinForRetyping(page, context);
    }
    SetFocus(GetDlgItem(page, focusId));
}

UINT PinMessageId(const SheetContext* context) {
    return HasDriverOption(PrinterOf(context), DRVOPT_ALT_TEMPLATE) ? IDS_PIN_MESSAGE_ALT
                                                                    : IDS_PIN_MESSAGE;
}

// The warning for the edit `editId`, with the focus on it: the edit's own message under its
// caption, or, when a step failed that the user can only retry (`systemError` set), the
// system's text for that failure (the edit's message when the system has no text for it).
void WarnAbout(HWND page, SheetContext* context, int editId, DWORD systemError = 0) {
    UINT textId = PinMessageId(context);
    UINT captionId = IDS_PIN_CAPTION;
    int captionChars = kPinCaptionChars;
    if (editId == IDC_USER_NAME_EDIT || editId == IDC_JOB_NAME_EDIT) {
        const bool user = editId == IDC_USER_NAME_EDIT;
        textId = user ? IDS_USER_NAME_MESSAGE : IDS_JOB_NAME_MESSAGE;
        captionId = user ? IDS_USER_NAME_CAPTION : IDS_JOB_NAME_CAPTION;
        captionChars = kNameCaptionChars;
    }
    wchar_t text[kMessageChars] = {};
    if (systemError == 0 ||
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       systemError, 0, text, kMessageChars, nullptr) == 0) {
        LoadPageString(context, textId, text, kMessageChars);
    }
    wchar_t caption[kNameCaptionChars];
    LoadPageString(context, captionId, caption, captionChars);
    StripMnemonic(caption);
    ShowWarning(page, text, caption);
    FocusAfterWarning(page, context, editId);
}

INT_PTR Refuse(HWND page, SheetContext* context) {
    context->leaveRefused = 1;
    SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

}  // namespace

BOOL CheckPin(HWND page, SheetContext* context, const wchar_t* pin) {
    if (!PinEditIsStale(context) && IsFourDigits(pin)) {
        return TRUE;
    }
    WarnAbout(page, context, IDC_PIN_EDIT);
    return FALSE;
}

BOOL CheckNames(HWND page, SheetContext* context, const wchar_t* userName, const wchar_t* jobName) {
    if (userName == nullptr || userName[0] == L'\0') {
        WarnAbout(page, context, IDC_USER_NAME_EDIT);
        return FALSE;
    }
    if (jobName == nullptr || jobName[0] == L'\0') {
        WarnAbout(page, context, IDC_JOB_NAME_EDIT);
        return FALSE;
    }
    return TRUE;
}

void ShowWarning(HWND page, const wchar_t* text, const wchar_t* caption) {
    UINT style = MB_OK | MB_ICONEXCLAMATION;
    if ((GetWindowLongPtrW(page, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0) {
        style |= MB_RIGHT | MB_RTLREADING;
    }
    MessageBoxW(page, text, caption, style);
}

INT_PTR LeaveSecurePrintPage(HWND page, SheetContext* context) {
    PrivateDevmode* devmode = DevmodeOf(context);
    if (devmode == nullptr) {
        return FALSE;  // nothing to check and nowhere to store: let the sheet go on
    }
    wchar_t userName[kNameTextChars] = {};
    wchar_t jobName[kNameTextChars] = {};
    wchar_t pin[kPinTextChars] = {};
    const PinTextWiper wiper(pin, sizeof(pin));
    // An edit that cannot be read would pass for an empty one: the page stays instead.
    const struct {
        int id;
        wchar_t* text;
        int chars;
    } edits[] = {{IDC_USER_NAME_EDIT, userName, kNameTextChars},
                 {IDC_JOB_NAME_EDIT, jobName, kNameTextChars},
                 {IDC_PIN_EDIT, pin, kPinTextChars}};
    for (const auto& edit : edits) {
        if (!ReadControlText(page, edit.id, edit.text, edit.chars)) {
            WarnAbout(page, context, edit.id, GetLastError());
            return Refuse(page, context);
        }
    }

    if (devmode->secureEnabled == 0) {
        devmode->pinDigest[0] = '\0';
        ForgetStoredPin(page, context);
    } else {
        if (!KeepStoredPin(page, context, pin, *devmode) && !CheckPin(page, context, pin)) {
            return Refuse(page, context);
        }
        if (!HoldsNewPin(context) && !HasPinDigest(*devmode)) {
            // An untouched PIN edit stands for the stored digest. When there is none (it was
            // dropped when the page was left with secure printing off), the four digits on
            // show stand for nothing: ask for the PIN instead of sending a secure job
            // without one.
            WarnAbout(page, context, IDC_PIN_EDIT);
            return Refuse(page, context);
        }
        if (devmode->customNames != 0 && !CheckNames(page, context, userName, jobName)) {
            return Refuse(page, context);
        }
        if (HoldsNewPin(context)) {
            // When CryptoAPI fails the page is not left: the devmode keeps its previous digest
            // and names, and the flag stays set so that the next attempt hashes the PIN again.
            // The user can retry, switch secure printing off, or cancel the sheet; no job ever
            // leaves with a digest that was not made from the typed PIN.
            DWORD error = 0;
            if (!ComputePinDigest(pin, devmode->pinDigest, &error)) {
                WarnAbout(page, context, IDC_PIN_EDIT, error);
                return Refuse(page, context);
            }
            // From now on the edit stands for the stored digest, like any PIN set before, and
            // the typed digits no longer stay in it.
            ShowPinPlaceholder(page, context);
        }
    }
    CopyToField(devmode->userName, kNameChars, userName);
    CopyToField(devmode->jobName, kNameChars, jobName);
    context->leaveRefused = 0;
    return FALSE;
}

}  // namespace pinprint
