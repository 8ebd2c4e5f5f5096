#include "pages/secure_page_leave.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>

// After the standard headers: strsafe.h deprecates the C string functions by name, which
// MSVC's <cstdio> and <cstring> then fail to declare.
#include <strsafe.h>

#include "config/driver_options.h"
#include "devmode/private_devmode.h"
#include "pages/secure_print_page.h"
#include "pages/strip_mnemonic.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"

namespace pinprint {

namespace {

constexpr wchar_t kAesProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kSha256Bytes = 32;
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
        EmptyPinEdit(page, context, PinText::Empty);
    }
    SetFocus(GetDlgItem(page, focusId));
}

UINT PinMessageId(const SheetContext* context) {
    return HasDriverOption(PrinterOf(context), DRVOPT_ALT_TEMPLATE) ? IDS_PIN_MESSAGE_ALT
                                                                    : IDS_PIN_MESSAGE;
}

bool IsFourDigits(const wchar_t* pin) {
    if (pin == nullptr || lstrlenW(pin) != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (pin[i] < L'0' || pin[i] > L'9') {
            return false;
        }
    }
    return true;
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

// Wipes the PIN's text when the leaving ends, whichever way it ends.
class PinTextWiper {
  public:
    PinTextWiper(void* buffer, size_t bytes) : buffer_(buffer), bytes_(bytes) {}
    ~PinTextWiper() { SecureZeroMemory(buffer_, bytes_); }
    PinTextWiper(const PinTextWiper&) = delete;
    PinTextWiper& operator=(const PinTextWiper&) = delete;

  private:
    void* buffer_;
    size_t bytes_;
};

}  // namespace

BOOL CheckPin(HWND page, SheetContext* context, const wchar_t* pin) {
    if (context->pinText != PinText::Stale && IsFourDigits(pin)) {
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

bool ComputePinDigest(const wchar_t* pin, char* pinDigest, DWORD* error) {
    const auto fail = [error](DWORD code) {
        if (error != nullptr) {
            *error = code != 0 ? code : static_cast<DWORD>(E_FAIL);
        }
        return false;
    };
    // A digest is only ever made of a well-formed PIN.
    if (!IsFourDigits(pin) || pinDigest == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }

    // Hashing needs no key: a verification-only context opens no key container and creates
    // none, so setting a PIN leaves nothing in the user's profile and works in profiles that
    // may not store one.
    UniqueCryptProv provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, kAesProvider, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
        return fail(GetLastError());
    }
    UniqueCryptHash hash;  // declared after the provider: destroyed before it is released
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        return fail(GetLastError());
    }

    // The PIN as its number, formatted back to four ASCII digits: the bytes that are hashed.
    int number = 0;
    for (int i = 0; i < 4; ++i) {
        number = number * 10 + (pin[i] - L'0');
    }
    char digits[5] = {};
    std::snprintf(digits, sizeof(digits), "%04d", number);
    const BOOL hashed = CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(digits),
                                      static_cast<DWORD>(strlen(digits)), 0);
    const DWORD hashError = GetLastError();
    SecureZeroMemory(digits, sizeof(digits));
    SecureZeroMemory(&number, sizeof(number));
    if (!hashed) {
        return fail(hashError);
    }

    DWORD size = 0;
    DWORD sizeBytes = sizeof(size);
    if (!CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeBytes,
                           0)) {
        return fail(GetLastError());
    }
    // Anything but 32 bytes would not fill the 64-character field exactly.
    if (size != kSha256Bytes) {
        return fail(static_cast<DWORD>(NTE_BAD_HASH));
    }
    BYTE value[kSha256Bytes] = {};
    DWORD valueBytes = size;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value, &valueBytes, 0) || valueBytes != size) {
        const DWORD valueError = GetLastError();
        SecureZeroMemory(value, size);
        return fail(valueError);
    }

    char text[kPinDigestBytes] = {};
    for (DWORD i = 0; i < size; ++i) {
        char scratch[3];
        std::snprintf(scratch, sizeof(scratch), "%2.2x", value[i]);
        StringCchCatA(text, kPinDigestBytes, scratch);
    }
    SecureZeroMemory(value, size);
    memcpy(pinDigest, text, kPinDigestBytes);
    return true;
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
        if (context->pinText == PinText::Placeholder || context->pinText == PinText::GivenUp) {
            EmptyPinEdit(page, context, PinText::Empty);  // it stood for the digest just dropped
        }
    } else {
        if (pin[0] == L'\0' && context->pinText == PinText::GivenUp && HasPinDigest(*devmode)) {
            // The user only passed through the PIN edit: the stored PIN stays.
            ShowPinPlaceholder(page, context);
        } else if (!CheckPin(page, context, pin)) {
            return Refuse(page, context);
        }
        if (context->pinEdited == 0 && !HasPinDigest(*devmode)) {
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
        if (context->pinEdited != 0) {
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
