#include "support/test_support.h"
#include "support/about_sheet.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <prsht.h>

#include "pages/page_procs.h"
#include "platform/property_sheet_page.h"
#include "resmodule/resource_ids.h"
#include "support/secure_page_sheet.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint::test {
namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

BOOL CALLBACK CollectControl(HWND control, LPARAM lParam) {
    auto& controls = *reinterpret_cast<std::map<int, TemplateControl>*>(lParam);
    HWND dialog = GetParent(control);
    const int id = GetDlgCtrlID(control);
    controls[id] = {ChildRect(dialog, id), ChildText(dialog, id)};
    return TRUE;
}

}  // namespace

std::wstring CopyrightLine(HMODULE module, UINT formatId, const std::wstring& value,
                           UINT suffixId) {
    std::wstring line = ResourceString(module, formatId);
    const size_t at = line.find(L"%s");
    if (at != std::wstring::npos) {
        line.replace(at, 2, value);
    }
    return line + L" " + ResourceString(module, suffixId);
}

RECT ChildRect(HWND dialog, int controlId) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, controlId), &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ChildText(HWND dialog, int controlId) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, controlId, text, 1024);
    return text;
}

std::map<int, TemplateControl> ReadTemplate(HMODULE module, int templateId) {
    std::map<int, TemplateControl> controls;
    // The page templates are child dialogs: they need a parent to be created at all.
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND dialog =
        CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), parent, PlainDialogProc, 0);
    if (dialog != nullptr) {
        EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&controls));
        DestroyWindow(dialog);
    }
    DestroyWindow(parent);
    return controls;
}

AboutContext::AboutContext(HANDLE printer, const std::wstring& name, HMODULE resourceModule,
                           HMODULE ownModule)
    : printerName(name) {
    uiParam = drvhost::DriverParameters(printer, printerName.c_str(), nullptr, GetProcessHeap());
    context.uiParam = &uiParam;
    context.resourceModule = resourceModule;
    context.ownModule = ownModule;
}

AboutSheet::AboutSheet(HMODULE templateModule, SheetContext& context) {
    PropSheetPageFull page{};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = templateModule;
    page.pszTemplate = MAKEINTRESOURCEW(IDD_ABOUT);
    page.pfnDlgProc = AboutPageProc;
    page.lParam = reinterpret_cast<LPARAM>(&context);
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(reinterpret_cast<LPCPROPSHEETPAGEW>(&page));
    if (handle == nullptr) {
        return;
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW;
    header.pszCaption = L"Printer Properties";
    header.nPages = 1;
    header.phpage = &handle;
    sheet_ = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (sheet_ == nullptr) {
        return;
    }
    SetWindowPos(sheet_, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    PumpMessages();
    page_ = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    UpdateWindow(sheet_);
    PumpMessages();
}

AboutSheet::~AboutSheet() {
    if (sheet_ != nullptr) {
        DestroyWindow(sheet_);
        PumpMessages();
    }
}

AboutDialog::AboutDialog(HMODULE templateModule, SheetContext& context) {
    frame_ = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 600, 500, nullptr, nullptr, nullptr,
                             nullptr);
    // The page procedure takes its context from the page record, as inside a sheet.
    PropSheetPageFull record{};
    record.dwSize = sizeof(record);
    record.lParam = reinterpret_cast<LPARAM>(&context);
    page_ = CreateDialogParamW(templateModule, MAKEINTRESOURCEW(IDD_ABOUT), frame_, AboutPageProc,
                               reinterpret_cast<LPARAM>(&record));
    PumpMessages();
}

AboutDialog::~AboutDialog() {
    if (frame_ != nullptr) {
        DestroyWindow(frame_);
        PumpMessages();
    }
}

}  // namespace pinprint::test
