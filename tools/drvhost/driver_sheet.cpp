#include "driver_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <cwchar>

#include "platform/proc_address.h"

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
