#include "driver_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <cwchar>
#include <vector>

#include "platform/proc_address.h"
#include "platform/property_sheet_page.h"

namespace drvhost {

namespace {

LONG CALLBACK PluginEntry(PPROPSHEETUI_INFO info, LPARAM lParam) {
    auto* param = reinterpret_cast<PluginEntryParam*>(info->lParamInit);
    if (param == nullptr || param->plugin == nullptr) {
        return -1;
    }
    const HRESULT hr = param->kind == SheetKind::Document
                           ? param->plugin->DocumentPropertySheets(info, lParam)
                           : param->plugin->DevicePropertySheets(info, lParam);
    if (info->Reason == PROPSHEETUI_REASON_INIT) {
        param->initResult = hr;
        param->initUserData = info->UserData;
        param->initResultValue = info->Result;
    }
    // A sheet function reports success with a positive value.
    return SUCCEEDED(hr) ? 1 : -1;
}

// ---- The driver's own first page ----
// The PostScript driver shows its own tabs before the plug-in's: "Layout" in Printing
// Preferences, "Device Settings" in Printer Properties. This page stands in for them, a plain
// page of the host's own, so that the plug-in's page is seen where users meet it: second,
// reached by clicking its tab. Built in memory, as the host and the tests share this code.

// One control of the stand-in page, in dialog units.
struct StandInControl {
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
    bool checked = false;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

const StandInControl kLayoutControls[] = {
    {L"Button", L"Orientation", kChild | BS_GROUPBOX, 7, 7, 238, 48},
    {L"Button", L"&Portrait", kChild | BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 20, 100, 10,
     true},
    {L"Button", L"&Landscape", kChild | BS_AUTORADIOBUTTON, 14, 34, 100, 10},
    {L"Button", L"Page format", kChild | BS_GROUPBOX, 7, 62, 238, 56},
    {L"Static", L"Pages per &sheet:", kChild | SS_LEFT, 14, 78, 70, 8},
    {L"ComboBox", L"", kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 90, 76, 60, 60},
    {L"Button", L"Print on &both sides", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 14, 98, 150, 10},
    {L"Static", L"This page stands in for the printer driver's own first tab.", kChild | SS_LEFT, 7,
     200, 238, 8},
    {},  // the end
};

const StandInControl kDeviceControls[] = {
    {L"Button", L"Installable options", kChild | BS_GROUPBOX, 7, 7, 238, 62},
    {L"Static", L"Printer &memory:", kChild | SS_LEFT, 14, 24, 70, 8},
    {L"ComboBox", L"", kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 90, 22, 60, 60},
    {L"Button", L"&Duplex unit installed", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 14, 44, 150, 10},
    {L"Static", L"This page stands in for the printer driver's own first tab.", kChild | SS_LEFT, 7,
     200, 238, 8},
    {},  // the end
};

constexpr int kStandInComboId = 100;
constexpr int kStandInFirstId = 200;  // the other controls, in table order

void PutWords(std::vector<WORD>& t, const wchar_t* text) {
    do {
        t.push_back(static_cast<WORD>(*text));
    } while (*text++ != L'\0');
}

void PutDword(std::vector<WORD>& t, DWORD value) {
    t.push_back(LOWORD(value));
    t.push_back(HIWORD(value));
}

// A DLGTEMPLATE with its items, each DWORD-aligned, in the large property-page size.
std::vector<WORD> BuildStandInTemplate(const StandInControl* controls) {
    size_t count = 0;
    while (controls[count].className != nullptr) {
        ++count;
    }
    std::vector<WORD> t;
    PutDword(t, DS_SHELLFONT | DS_CONTROL | WS_CHILD | WS_CAPTION);
    PutDword(t, 0);  // extended style
    t.push_back(static_cast<WORD>(count));
    for (short v : {0, 0, 252, 218}) {
        t.push_back(static_cast<WORD>(v));
    }
    t.push_back(0);  // no menu
    t.push_back(0);  // the dialog class
    PutWords(t, L"");
    t.push_back(8);
    PutWords(t, L"MS Shell Dlg");
    for (size_t i = 0; i < count; ++i) {
        const StandInControl& c = controls[i];
        if (t.size() % 2 != 0) {
            t.push_back(0);
        }
        PutDword(t, c.style);
        PutDword(t, 0);
        for (short v : {c.x, c.y, c.cx, c.cy}) {
            t.push_back(static_cast<WORD>(v));
        }
        const bool combo = wcscmp(c.className, L"ComboBox") == 0;
        t.push_back(static_cast<WORD>(combo ? kStandInComboId : kStandInFirstId + i));
        PutWords(t, c.className);
        PutWords(t, c.text);
        t.push_back(0);  // no creation data
    }
    return t;
}

INT_PTR CALLBACK StandInPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    const auto* controls =
        reinterpret_cast<const StandInControl*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
    for (int i = 0; controls[i].className != nullptr; ++i) {
        if (controls[i].checked) {
            CheckDlgButton(page, kStandInFirstId + i, BST_CHECKED);
        }
    }
    for (const wchar_t* item : {L"1", L"2", L"4", L"8"}) {
        SendDlgItemMessageW(page, kStandInComboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    SendDlgItemMessageW(page, kStandInComboId, CB_SETCURSEL, 0, 0);
    return TRUE;
}

// Adds the stand-in page through the sheet's callback, as the driver adds its own.
void AddStandInPage(PPROPSHEETUI_INFO info, SheetKind kind) {
    static const std::vector<WORD> layout = BuildStandInTemplate(kLayoutControls);
    static const std::vector<WORD> device = BuildStandInTemplate(kDeviceControls);
    pinprint::PropSheetPageFull page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
    page.pResource = reinterpret_cast<PROPSHEETPAGE_RESOURCE>(
        (kind == SheetKind::Document ? layout : device).data());
    page.pszTitle = kind == SheetKind::Document ? L"Layout" : L"Device Settings";
    page.pfnDlgProc = StandInPageProc;
    page.lParam =
        reinterpret_cast<LPARAM>(kind == SheetKind::Document ? kLayoutControls : kDeviceControls);
    info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                          reinterpret_cast<LPARAM>(&page), 0);
}

struct Watch {
    DriverSheet* sheet = nullptr;
    HWND window = nullptr;
    DWORD shownAt = 0;
    DWORD closingAt = 0;
    bool closing = false;
};

thread_local Watch currentWatch;

// A thread timer: it keeps firing inside the sheet's modal loop (and a warning box's).
void CALLBACK WatchSheet(HWND, UINT, UINT_PTR, DWORD now) {
    Watch& watch = currentWatch;
    if (watch.sheet == nullptr) {
        return;
    }
    if (watch.window == nullptr) {
        watch.window = detail::FindSheetWindow();
        if (watch.window == nullptr) {
            return;
        }
        detail::ClickLastTab(watch.window);
        RedrawWindow(watch.window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        watch.shownAt = now;
        if (watch.sheet->onShown) {
            watch.sheet->onShown(watch.window);
        }
    }
    if (watch.sheet->closeAfterMs == DriverSheet::kLeaveOpen || !IsWindow(watch.window)) {
        return;
    }
    if (!watch.closing && now - watch.shownAt >= watch.sheet->closeAfterMs) {
        // Posted, so that the page's apply runs from the sheet's own loop, not inside this timer.
        PostMessageW(watch.window, PSM_PRESSBUTTON, PSBTN_OK, 0);
        watch.closing = true;
        watch.closingAt = now;
    } else if (watch.closing && now - watch.closingAt >= 3000) {
        // A page refused to be left (a warning box): dismiss it and cancel.
        detail::DismissOtherDialogs(watch.window);
        PostMessageW(watch.window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        watch.closingAt = now;
    }
}

}  // namespace

namespace detail {

LONG CALLBACK DriverSheetFunction(PPROPSHEETUI_INFO info, LPARAM lParam) {
    auto* sheet = reinterpret_cast<DriverSheet*>(info->lParamInit);
    if (sheet == nullptr) {
        return -1;
    }
    switch (info->Reason) {
        case PROPSHEETUI_REASON_INIT:
            AddStandInPage(info, sheet->entry.kind);
            if (sheet->extraPage != nullptr) {
                info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                      reinterpret_cast<LPARAM>(sheet->extraPage), 0);
            }
            sheet->pluginEntryAdded =
                info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                      reinterpret_cast<LPARAM>(&PluginEntry),
                                      reinterpret_cast<LPARAM>(&sheet->entry.uiParam)) != 0;
            info->Result = CPSUI_CANCEL;
            return 1;
        case PROPSHEETUI_REASON_GET_INFO_HEADER: {
            auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
            header->Flags = PSUIHDRF_EXACT_PTITLE;
            header->pTitle = const_cast<LPWSTR>(sheet->title.c_str());
            header->hInst = GetModuleHandleW(nullptr);
            return 1;
        }
        case PROPSHEETUI_REASON_SET_RESULT:
            info->Result = reinterpret_cast<const SETRESULT_INFO*>(lParam)->Result;
            return 1;
        default:
            return 1;
    }
}

HWND FindSheetWindow() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            if (IsWindowVisible(window) &&
                FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr)) {
                *reinterpret_cast<HWND*>(lParam) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void ClickLastTab(HWND sheet) {
    const auto tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
    RECT item = {};
    if (count < 2 ||
        !SendMessageW(tab, TCM_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&item))) {
        return;
    }
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

void DismissOtherDialogs(HWND sheet) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (window != reinterpret_cast<HWND>(lParam) && IsWindowVisible(window) &&
                wcscmp(className, L"#32770") == 0) {
                PostMessageW(window, WM_COMMAND, IDOK, 0);
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(sheet));
}

}  // namespace detail

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool OpenDriverSheet(DriverSheet& sheet) {
    using CommonPropertySheetUIFn = LONG(WINAPI*)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD);
    const HMODULE compstui = LoadLibraryW(L"compstui.dll");
    if (compstui == nullptr) {
        return false;
    }
    auto open = pinprint::ProcAddress<CommonPropertySheetUIFn>(compstui, "CommonPropertySheetUIW");
    if (open == nullptr) {
        FreeLibrary(compstui);
        return false;
    }
    currentWatch = Watch();
    currentWatch.sheet = &sheet;
    const UINT_PTR timer = SetTimer(nullptr, 0, sheet.watchEveryMs, WatchSheet);
    sheet.sheetResult = open(nullptr, detail::DriverSheetFunction, reinterpret_cast<LPARAM>(&sheet),
                             &sheet.reportedResult);
    KillTimer(nullptr, timer);
    // Drop a last WM_TIMER of the killed timer, so that it cannot reach the next sheet.
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    currentWatch = Watch();
    FreeLibrary(compstui);
    return true;
}

}  // namespace drvhost
