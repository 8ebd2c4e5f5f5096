// drvhost prefs / drvhost props: Printing Preferences and Printer Properties of an installed
// printer, opened the way the PostScript driver opens them, with the plug-in's page in them.
#include <cstdio>
#include <cwchar>
#include <utility>

#include "driver_sheet.h"
#include "host.h"
#include "oem_plugin.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"

namespace drvhost {
namespace {

constexpr wchar_t kDefaultPrinter[] = L"PinPrint Demo";

DWORD NumberOption(const Args& args, const wchar_t* option) {
    return wcstoul(OptionValue(args, option, L"0").c_str(), nullptr, 0);
}

const wchar_t* SheetResultText(LONG result) {
    switch (result) {
        case CPSUI_OK:
            return L"OK";
        case CPSUI_CANCEL:
            return L"Cancel";
        case ERR_CPSUI_NO_PROPSHEETPAGE:
            return L"no page to show";
        default:
            return result < 0 ? L"error" : L"other";
    }
}

// What a user does on the secure-print page: tick secure printing, type the PIN (the edit's
// first focus empties it) and, when given, the names. The sheet's OK then stores the digest.
struct SecureEntry {
    std::wstring pin;
    std::wstring userName;
    std::wstring jobName;
};

void TypeInto(HWND edit, const std::wstring& text) {
    SetFocus(edit);
    for (wchar_t c : text) {
        SendMessageW(edit, WM_CHAR, c, 1);
    }
}

void EnterSecureSettings(HWND sheet, const SecureEntry& entry) {
    const HWND page = CurrentPage(sheet);
    if (IsDlgButtonChecked(page, IDC_SECURE_ENABLE) != BST_CHECKED) {
        SendDlgItemMessageW(page, IDC_SECURE_ENABLE, BM_CLICK, 0, 0);
    }
    TypeInto(GetDlgItem(page, IDC_PIN_EDIT), entry.pin);
    if (!entry.userName.empty()) {
        TypeInto(GetDlgItem(page, IDC_USER_NAME_EDIT), entry.userName);
    }
    if (!entry.jobName.empty()) {
        TypeInto(GetDlgItem(page, IDC_JOB_NAME_EDIT), entry.jobName);
    }
    RedrawWindow(sheet, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The sheet of `kind` opened as the driver opens it. With `edited`, the merged devmode is handed
// back instead of printed (drvhost print goes on with it).
int RunSheet(SheetKind kind, const Args& args, std::vector<BYTE>* edited = nullptr) {
    const std::wstring printerName = OptionValue(args, L"--printer", kDefaultPrinter);
    const std::wstring screenshot = OptionValue(args, L"--screenshot", L"");
    const DWORD closeAfter = NumberOption(args, L"--close-after");
    const DWORD flags = NumberOption(args, L"--flags");
    const bool document = kind == SheetKind::Document;

    pinprint::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), printer.put(), nullptr)) {
        fwprintf(stderr,
                 L"drvhost: printer \"%ls\" cannot be opened (error %lu); "
                 L"install it with drvhost install\n",
                 printerName.c_str(), GetLastError());
        return 1;
    }
    std::wstring dllPath = OptionValue(args, L"--dll", L"");
    if (dllPath.empty()) {
        dllPath = OemPluginPath(printer.get());
    }
    PluginHost host;
    if (!host.Load(dllPath)) {
        return 1;
    }
    std::vector<BYTE> devmode;
    DWORD privateSize = 0;
    if (!host.DefaultDevmode(devmode, privateSize)) {
        return 1;
    }
    DWORD options = 0;
    DWORD needed = 0;
    const bool haveOptions = GetPrinterDataW(printer.get(), const_cast<LPWSTR>(L"VkDriverOptions"),
                                             nullptr, reinterpret_cast<LPBYTE>(&options),
                                             sizeof(options), &needed) == ERROR_SUCCESS;

    DriverHeap heap;
    OEMUIOBJ uiObject = {sizeof(OEMUIOBJ)};
    DriverSheet sheet;
    sheet.entry = {.uiParam = DriverParameters(printer.get(), printerName.c_str(), host.module(),
                                               heap.get(), devmode.data(), flags),
                   .plugin = host.plugin(),
                   .kind = kind};
    sheet.entry.uiParam.poemuiobj = &uiObject;
    sheet.title = printerName + (document ? L" Printing Preferences" : L" Properties");
    sheet.closeAfterMs = closeAfter == 0 ? DriverSheet::kLeaveOpen : closeAfter;
    const SecureEntry secure = {document ? OptionValue(args, L"--secure-pin", L"") : L"",
                                OptionValue(args, L"--user-name", L""),
                                OptionValue(args, L"--job-name", L"")};
    if (!screenshot.empty() || !secure.pin.empty()) {
        sheet.onShown = [&screenshot, &secure](HWND window) {
            if (!secure.pin.empty()) {
                EnterSecureSettings(window, secure);
            }
            if (screenshot.empty()) {
                return;
            }
            if (CaptureWindowPng(window, screenshot)) {
                wprintf(L"Screenshot of the sheet written to %ls\n", screenshot.c_str());
            } else {
                fwprintf(stderr, L"drvhost: cannot write the screenshot %ls (error %lu)\n",
                         screenshot.c_str(), GetLastError());
            }
            fflush(stdout);
        };
    }

    wprintf(L"Opening %ls for \"%ls\": plug-in %ls, options word %ls0x%lX, dwFlags 0x%lX\n",
            document ? L"Printing Preferences" : L"Printer Properties", printerName.c_str(),
            dllPath.empty() ? L"beside drvhost" : dllPath.c_str(), haveOptions ? L"" : L"(unset) ",
            options, flags);
    if (closeAfter == 0) {
        wprintf(L"Close the sheet to continue.\n");
    }
    fflush(stdout);
    if (!OpenDriverSheet(sheet)) {
        fwprintf(stderr, L"drvhost: compstui.dll's CommonPropertySheetUIW is not available\n");
        return 1;
    }

    wprintf(L"Plug-in INIT: 0x%08lX, Result 0x%llX; CommonPropertySheetUIW: %ld (%ls)\n",
            sheet.entry.initResult, static_cast<unsigned long long>(sheet.entry.initResultValue),
            sheet.sheetResult, SheetResultText(sheet.sheetResult));
    wprintf(L"Driver heap after DESTROY: %d block(s) in use\n", heap.BusyBlocks());

    // As the driver does with what the sheet edited: merge it into the printer's defaults.
    std::vector<BYTE> merged;
    if (!host.DefaultDevmode(merged, privateSize)) {
        return 1;
    }
    const HRESULT hr = host.MergeDevmode(merged, privateSize, sheet.entry.uiParam.pOEMDM);
    if (FAILED(hr)) {
        fwprintf(stderr, L"drvhost: DevMode(OEMDM_MERGE) failed, 0x%08lX\n", hr);
        return 1;
    }
    if (edited != nullptr) {
        *edited = std::move(merged);
        return sheet.sheetResult == CPSUI_OK ? 0 : 1;
    }
    wprintf(L"After the sheet, merged (OEMDM_MERGE) into the defaults (public dmCopies %d):\n",
            reinterpret_cast<DEVMODEW*>(merged.data())->dmCopies);
    PrintPrivateDevmode(merged.data() + sizeof(DEVMODEW), privateSize, false);
    return sheet.sheetResult >= 0 ? 0 : 1;
}

}  // namespace

int CommandPrefs(const Args& args) {
    return RunSheet(SheetKind::Document, args);
}

int CommandProps(const Args& args) {
    return RunSheet(SheetKind::Device, args);
}

int EditPreferences(const Args& args, std::vector<BYTE>& devmode) {
    return RunSheet(SheetKind::Document, args, &devmode);
}

}  // namespace drvhost
