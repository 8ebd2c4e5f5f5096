#include "pages/name_filters.h"

#include "resmodule/resource_ids.h"

namespace pinprint {

WNDPROC savedUserNameProc = nullptr;
WNDPROC savedJobNameProc = nullptr;
WNDPROC savedPinProc = nullptr;

namespace {

WNDPROC WindowProcOf(HWND page, int id) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(GetDlgItem(page, id), GWLP_WNDPROC));
}

void Subclass(HWND page, int id, WNDPROC proc) {
    SetWindowLongPtrW(GetDlgItem(page, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
}

LRESULT Forward(WNDPROC previous, HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return previous != nullptr ? CallWindowProcW(previous, edit, message, wParam, lParam)
                               : DefWindowProcW(edit, message, wParam, lParam);
}

// The full rule follows the page's layout as it is at the keystroke: with the radio pair or
// the swapped note shown the names must survive the trip through the ANSI code page,
// otherwise they must stay within Latin-1.
bool FullRuleAccepts(HWND edit, wchar_t c) {
    const HWND page = GetParent(edit);
    const bool ansiLayout = IsWindowVisible(GetDlgItem(page, IDC_NAMES_AUTO)) ||
                            IsWindowVisible(GetDlgItem(page, IDC_NAME_NOTE_ALT));
    if (ansiLayout ? !PassesAnsiTest(c) : c > 0xFF) {
        return false;
    }
    return !IsRefusedNameCharacter(c);
}

bool ShortRuleAccepts(wchar_t c) {
    return c > 0xFF || !IsRefusedNameCharacter(c);
}

LRESULT Filter(WNDPROC previous, bool fullRule, HWND edit, UINT message, WPARAM wParam,
               LPARAM lParam) {
    if (message == WM_PASTE) {
        return 0;
    }
    if (message == WM_CHAR) {
        const auto c = static_cast<wchar_t>(wParam);
        const bool accepted = fullRule ? FullRuleAccepts(edit, c) : ShortRuleAccepts(c);
        if (!accepted) {
            return 0;
        }
    }
    return Forward(previous, edit, message, wParam, lParam);
}

}  // namespace

void SaveEditProcedures(HWND page) {
    savedUserNameProc = WindowProcOf(page, IDC_USER_NAME_EDIT);
    savedJobNameProc = WindowProcOf(page, IDC_JOB_NAME_EDIT);
    savedPinProc = WindowProcOf(page, IDC_PIN_EDIT);
}

void InstallNameFilters(HWND page, bool shortNames) {
    const int limit = shortNames ? kShortNameLimit : kFullNameLimit;
    SendDlgItemMessageW(page, IDC_USER_NAME_EDIT, EM_LIMITTEXT, limit, 0);
    SendDlgItemMessageW(page, IDC_JOB_NAME_EDIT, EM_LIMITTEXT, limit, 0);
    Subclass(page, IDC_USER_NAME_EDIT,
             shortNames ? ShortUserNameFilterProc : FullUserNameFilterProc);
    Subclass(page, IDC_JOB_NAME_EDIT, shortNames ? ShortJobNameFilterProc : FullJobNameFilterProc);
}

bool IsRefusedNameCharacter(wchar_t c) {
    switch (c) {
        case L'"':
        case L'%':
        case L'*':
        case L'+':
        case L',':
        case L'/':
        case L';':
        case L'=':
        case L'?':
        case L'\\':
        case L'|':
            return true;
        default:
            return false;
    }
}

bool PassesAnsiTest(wchar_t c) {
    const wchar_t wide[2] = {c, L'\0'};
    char narrow[2] = {0, 0};
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, &usedDefault);
    if (usedDefault || narrow[1] != 0) {
        return false;
    }
    wchar_t back[2] = {0, 0};
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, 2);
    return lstrcmpW(back, wide) == 0;
}

LRESULT CALLBACK FullUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return Filter(savedUserNameProc, true, edit, message, wParam, lParam);
}

LRESULT CALLBACK FullJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return Filter(savedJobNameProc, true, edit, message, wParam, lParam);
}

LRESULT CALLBACK ShortUserNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return Filter(savedUserNameProc, false, edit, message, wParam, lParam);
}

LRESULT CALLBACK ShortJobNameFilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    return Filter(savedJobNameProc, false, edit, message, wParam, lParam);
}

}  // namespace pinprint
