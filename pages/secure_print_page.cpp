#include "pages/secure_print_page.h"

#include <objbase.h>
#include <uxtheme.h>

#include "config/driver_files.h"
#include "config/driver_options.h"
#include "config/help_launcher.h"
#include "pages/name_filters.h"
#include "pages/page_procs.h"
#include "pages/page_style.h"
#include "pages/pin_edit.h"
#include "pages/secure_page_leave.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"
#include "rules/sender_names.h"

namespace pinprint {

namespace {

bool HasOption(const SheetContext* context, DriverOptions bit) {
    return HasDriverOption(PrinterOf(context), bit);
}

void NotifyChanged(HWND page) {
    SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

bool IsUnlocked(const SheetContext* context, const PrivateDevmode* devmode) {
    return context->perDocument != 0 || (devmode->pageFlags & kPageFlagUnlocked) != 0 ||
           HasOption(context, DRVOPT_SECURE_ALWAYS);
}

// COM is there for help when this thread's CoInitialize succeeded, or when the thread had it
// already in the other (multi-threaded) mode: the printing program's own thread may well. Only a
// CoInitialize that succeeded is paired with CoUninitialize.
bool ComUsable(HRESULT initialized) {
    return SUCCEEDED(initialized) || initialized == RPC_E_CHANGED_MODE;
}

void ShowHelp(HWND /*page*/, SheetContext* context) {
    wchar_t path[kPathChars] = {};
    if (BuildHelpFilePath(PrinterOf(context), path) == 0) {
        return;
    }
    HWND window = nullptr;
    const HRESULT com = CoInitialize(nullptr);
    if (ComUsable(com)) {
        window = CallHtmlHelp(GetFocus(), path, kHelpDisplayTopic, 0);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    context->helpWindow = window;
}

void CloseHelp(SheetContext* context) {
    if (context->helpWindow == nullptr || !IsWindow(context->helpWindow)) {
        return;
    }
    const HRESULT com = CoInitialize(nullptr);
    if (ComUsable(com)) {
        CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    context->helpWindow = nullptr;
}

// Fills `rect` with the button face colour; the brush lives for this call only.
bool FillButtonFace(HDC dc, const RECT& rect) {
    const UniqueGdiObject brush(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    if (!brush) {
        return false;
    }
    const ScopedSelect selected(dc, brush.get());
    FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
    return true;
}

// Under a visual style the sheet asks its pages to show the tab's own background (the style's
// texture, which the dialog manager paints). The page then fills nothing of its own, or it would
// sit as a patch of button face on the tab; its controls take what lies beneath them from it.
BOOL OnEraseBackground(HWND page, HDC dc) {
    if (ShowsTabBackground(page)) {
        return FALSE;
    }
    RECT clip = {};
    if (GetClipBox(dc, &clip) == ERROR || !FillButtonFace(dc, clip)) {
        return FALSE;  // the dialog's own erase follows
    }
    SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
    return TRUE;
}

INT_PTR OnCommand(HWND page, SheetContext* context, PrivateDevmode* devmode, WORD id, WORD code) {
    switch (id) {
        case IDC_SECURE_ENABLE: {
            const bool checked = IsDlgButtonChecked(page, IDC_SECURE_ENABLE) == BST_CHECKED;
            devmode->secureEnabled = checked ? 1 : 0;
            EnableControlRange(page, IDC_PIN_LABEL, IDC_PIN_EDIT, checked);
            NotifyChanged(page);
            return TRUE;
        }
        case IDC_PIN_EDIT:
        case IDC_USER_NAME_EDIT:
        case IDC_JOB_NAME_EDIT:
            // Only the user changes the settings: text the page sets itself is no change.
            if (code == EN_UPDATE && context->settingText == 0) {
                if (id == IDC_PIN_EDIT) {
                    NotePinTyped(context);
                }
                NotifyChanged(page);
            }
            return TRUE;
        case IDC_NAMES_AUTO:
            if (devmode->customNames != 0) {
                devmode->customNames = 0;
                EnableControlRange(page, IDC_USER_NAME_LABEL, IDC_JOB_NAME_EDIT, FALSE);
                NotifyChanged(page);
            }
            return TRUE;
        case IDC_NAMES_CUSTOM:
            if (devmode->customNames == 0) {
                devmode->customNames = 1;
                EnableControlRange(page, IDC_USER_NAME_LABEL, IDC_JOB_NAME_EDIT, TRUE);
                NotifyChanged(page);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

// The hidden unlock gesture: a double-click on the PIN label flips the page between locked
// and unlocked, for sheets where the secure controls are not already allowed.
INT_PTR OnDoubleClick(HWND page, SheetContext* context, PrivateDevmode* devmode, LPARAM lParam) {
    if (context->canChange == 0) {
        return FALSE;
    }
    if (context->perDocument != 0) {
        return TRUE;
    }
    RECT label = {};
    GetWindowRect(GetDlgItem(page, IDC_PIN_LABEL), &label);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&label), 2);
    const POINT click = {static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
    if (!PtInRect(&label, click)) {
        return TRUE;
    }
    if (HasOption(context, DRVOPT_SECURE_ALWAYS)) {
        return TRUE;
    }
    devmode->pageFlags ^= kPageFlagUnlocked;
    InitSecurePrintPage(page, context, devmode, FALSE);
    return TRUE;
}

INT_PTR OnNotify(HWND page, SheetContext* context, const NMHDR* header) {
    if (header == nullptr) {
        return FALSE;
    }
    switch (header->code) {
        case PSN_KILLACTIVE:
            return LeaveSecurePrintPage(page, context);
        case PSN_APPLY:
            // A page that refused to be left (and could not say so) must not apply either.
            if (context->leaveRefused != 0) {
                SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            // The devmode already holds the page's settings; the sheet only learns the result.
            // (Wine's compstui answers 0 here; the answer is not needed.)
            if (context->sheetCallback != nullptr) {
                context->sheetCallback(reinterpret_cast<HANDLE>(context->pageHandle),
                                       CPSFUNC_SET_RESULT, context->pageHandle, CPSUI_OK);
            }
            // Stated, not inherited: a refusal earlier on must not read as a refused apply.
            SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        case PSN_HELP:
            ShowHelp(page, context);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void EnableControlRange(HWND page, UINT first, UINT last, BOOL enable) {
    for (UINT id = first & 0xFFFF; id <= (last & 0xFFFF); ++id) {
        EnableWindow(GetDlgItem(page, static_cast<int>(id)), enable);
    }
}

void HideControlRange(HWND page, UINT first, UINT last) {
    for (UINT id = first & 0xFFFF; id <= (last & 0xFFFF); ++id) {
        ShowWindow(GetDlgItem(page, static_cast<int>(id)), SW_HIDE);
    }
}

void InitSecurePrintPage(HWND page, SheetContext* context, PrivateDevmode* devmode,
                         BOOL firstTime) {
    if (context == nullptr || devmode == nullptr) {
        return;
    }
    // The driver validates the record before it shows the sheet, but the page does not rely
    // on it: every string is read up to its terminator from here on.
    ValidatePrivateDevmode(devmode);
    if (IsUnlocked(context, devmode)) {
        const bool secure = devmode->secureEnabled != 0;
        EnableControlRange(page, IDC_SECURE_ENABLE, IDC_SECURE_ENABLE, TRUE);
        CheckDlgButton(page, IDC_SECURE_ENABLE, secure ? BST_CHECKED : BST_UNCHECKED);
        EnableControlRange(page, IDC_PIN_LABEL, IDC_PIN_EDIT, secure);
        if (!SetUpPinEdit(page, context, *devmode)) {
            devmode->pinDigest[0] = '\0';
        }
    } else {
        devmode->secureEnabled = 0;
        CheckDlgButton(page, IDC_SECURE_ENABLE, BST_UNCHECKED);
        EnableControlRange(page, IDC_SECURE_ENABLE, IDC_PIN_EDIT, FALSE);
    }

    // Without its edits' own procedures saved no filter could pass a key on: the page then
    // keeps the texts it shows and offers none of them, as without its context.
    const bool filtered = !firstTime || SaveEditProcedures(page);

    if (HasOption(context, DRVOPT_NAME_CHOICE)) {
        HideControlRange(page, IDC_NAME_NOTE, IDC_NAME_NOTE_ALT);
        EnableControlRange(page, IDC_NAME_NOTE, IDC_NAME_NOTE_ALT, FALSE);
        CheckRadioButton(page, IDC_NAMES_AUTO, IDC_NAMES_CUSTOM,
                         devmode->customNames != 0 ? IDC_NAMES_CUSTOM : IDC_NAMES_AUTO);
    } else {
        HideControlRange(page, IDC_NAMES_AUTO, IDC_NAMES_CUSTOM);
        EnableControlRange(page, IDC_NAMES_AUTO, IDC_NAMES_CUSTOM, FALSE);
        if (HasOption(context, DRVOPT_LABEL_SWAP)) {
            HideControlRange(page, IDC_NAME_NOTE, IDC_NAME_NOTE);
        } else {
            HideControlRange(page, IDC_NAME_NOTE_ALT, IDC_NAME_NOTE_ALT);
        }
        devmode->customNames = 1;
    }

    if (filtered) {
        InstallNameFilters(page, HasOption(context, DRVOPT_SHORT_NAMES));
        InstallPinEditFilter(page);
    } else {
        EnableWindow(page, FALSE);
    }

    SetEditText(page, context, IDC_USER_NAME_EDIT, Wide(devmode->userName));
    SetEditText(page, context, IDC_JOB_NAME_EDIT, Wide(devmode->jobName));
    if (devmode->customNames == 0) {
        EnableControlRange(page, IDC_USER_NAME_LABEL, IDC_JOB_NAME_EDIT, FALSE);
    }

    StoreSystemNames(devmode);
}

void DrawSeparator(const DRAWITEMSTRUCT* item) {
    if (item == nullptr) {
        return;
    }
    RECT area = item->rcItem;
    if (!ShowsTabBackground(GetParent(item->hwndItem)) ||
        FAILED(DrawThemeParentBackground(item->hwndItem, item->hDC, &area))) {
        FillButtonFace(item->hDC, item->rcItem);
    }
    if (item->CtlID != IDC_SEPARATOR) {
        return;
    }
    // One pixel at 96 DPI, as thick as the rest of the page at any other; a wider pen's line is
    // centred on its path, which is moved down so that the whole line lies on the control.
    const int width = ScaleToDpi(1, WindowDpi(item->hwndItem));
    const UniqueGdiObject pen(CreatePen(PS_SOLID, width, GetSysColor(COLOR_BTNSHADOW)));
    if (!pen) {
        return;
    }
    const ScopedSelect selected(item->hDC, pen.get());
    const int y = item->rcItem.top + width / 2;
    MoveToEx(item->hDC, item->rcItem.left, y, nullptr);
    LineTo(item->hDC, item->rcItem.right, y);
}

BOOL SetEditText(HWND page, SheetContext* context, int id, const wchar_t* text) {
    ++context->settingText;
    const BOOL set = SetDlgItemTextW(page, id, text);
    --context->settingText;
    return set;
}

INT_PTR CALLBACK SecurePrintPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SheetContext* context = ContextFromInitDialog(lParam);
        SetLastError(ERROR_SUCCESS);
        if (SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(context)) == 0 &&
            GetLastError() != ERROR_SUCCESS) {
            // Without its context no edit would reach the devmode: offer none.
            EnableWindow(page, FALSE);
            return TRUE;
        }
        InitSecurePrintPage(page, context, DevmodeOf(context), TRUE);
        return TRUE;
    }
    SetLastError(ERROR_SUCCESS);
    SheetContext* context = ContextOf(page);
    if (context == nullptr) {
        // Before WM_INITDIALOG nothing is handled. A context that is there but cannot be read
        // must not let the page be left unchecked.
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (GetLastError() != ERROR_SUCCESS && message == WM_NOTIFY && header != nullptr &&
            header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    }
    PrivateDevmode* devmode = DevmodeOf(context);
    switch (message) {
        case WM_COMMAND:
            return devmode != nullptr
                       ? OnCommand(page, context, devmode, LOWORD(wParam), HIWORD(wParam))
                       : FALSE;
        case WM_NOTIFY:
            return OnNotify(page, context, reinterpret_cast<const NMHDR*>(lParam));
        case WM_HELP:
            ShowHelp(page, context);
            return TRUE;
        case WM_DRAWITEM:
            DrawSeparator(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_ERASEBKGND:
            return OnEraseBackground(page, reinterpret_cast<HDC>(wParam));
        case WM_LBUTTONDBLCLK:
            return devmode != nullptr ? OnDoubleClick(page, context, devmode, lParam) : FALSE;
        case WM_CLOSE:
            EndDialog(page, IDCANCEL);
            return TRUE;
        case WM_DESTROY:
            CloseHelp(context);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace pinprint
