// The document sheet's INIT+DESTROY through the loaded plug-in, against the floor of the
// spooler and loader calls it cannot avoid, timed alone in the same run; and the name filter's
// cost per keystroke against the same edit without the filter.
//
// The printer is installed into Wine's spooler for the run by the tests' own installer
// (tests/support/test_printer.cpp, compiled in) and removed again at the end.
#include <windows.h>
#include <compstui.h>
#include <winspool.h>

#include <memory>
#include <vector>

#include "bench.h"
#include "config/driver_options.h"
#include "pages/name_filters.h"
#include "platform/oemui.h"
#include "resmodule/resource_ids.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_side.h"

namespace {

using pinprint::test::BinPath;
using pinprint::test::LoadedPlugin;
using pinprint::test::TestPrinter;

// The entries called as compstui calls them, with its recording stand-in accepting the page.
double SheetInitDestroyNs(IPrintOemUI* plugin, HANDLE printer, HANDLE heap, int calls) {
    drvhost::SheetCall call(drvhost::DriverParameters(printer, L"PinPrint Bench", nullptr, heap));
    return bench::MedianNsPerCall(
        [&] {
            call.Run(plugin, drvhost::SheetKind::Document, PROPSHEETUI_REASON_INIT);
            call.Run(plugin, drvhost::SheetKind::Document, PROPSHEETUI_REASON_DESTROY);
        },
        calls);
}

// What INIT+DESTROY has to ask of the spooler, the loader and the side-by-side store (the page's
// activation context, made from the plug-in's manifest and released again), nothing else.
double SpoolerFloorNs(HANDLE printer, HMODULE plugin, const std::wstring& resourcePath, int calls) {
    std::vector<BYTE> record(4096);
    return bench::MedianNsPerCall(
        [&] {
            DWORD type = 0, value = 0, needed = 0;
            for (int i = 0; i < 2; ++i) {
                GetPrinterDataW(printer, const_cast<LPWSTR>(L"VkDriverOptions"), &type,
                                reinterpret_cast<BYTE*>(&value), sizeof(value), &needed);
            }
            wchar_t path[MAX_PATH];
            GetModuleFileNameW(plugin, path, MAX_PATH);
            GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
            if (needed > record.size()) {
                record.resize(needed);
            }
            GetPrinterDriverW(printer, nullptr, 3, record.data(), needed, &needed);
            const HMODULE module = LoadLibraryW(resourcePath.c_str());
            if (module != nullptr) {
                FreeLibrary(module);
            }
            ACTCTXW request = {};
            request.cbSize = sizeof(request);
            request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
            request.hModule = plugin;
            request.lpResourceName = ISOLATIONAWARE_NOSTATICIMPORT_MANIFEST_RESOURCE_ID;
            const HANDLE context = CreateActCtxW(&request);
            if (context != INVALID_HANDLE_VALUE) {
                ReleaseActCtx(context);
            }
        },
        calls);
}

// A parent with the page's three edits, filtered or not.
struct Edits {
    explicit Edits(bool filtered) {
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        for (int id : {IDC_USER_NAME_EDIT, IDC_JOB_NAME_EDIT, IDC_PIN_EDIT}) {
            CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 300, 20, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr);
        }
        if (filtered) {
            pinprint::SaveEditProcedures(parent);
            pinprint::InstallNameFilters(parent, false);
        } else {
            SendDlgItemMessageW(parent, IDC_USER_NAME_EDIT, EM_LIMITTEXT, pinprint::kFullNameLimit,
                                0);
        }
        edit = GetDlgItem(parent, IDC_USER_NAME_EDIT);
    }
    ~Edits() { DestroyWindow(parent); }
    HWND parent = nullptr;
    HWND edit = nullptr;
};

// Per keystroke: a letter typed and taken back again, so the text never reaches the limit.
double KeystrokeNs(HWND edit, int calls) {
    return bench::MedianNsPerCall(
               [&] {
                   SendMessageW(edit, WM_CHAR, L'a', 1);
                   SendMessageW(edit, WM_CHAR, VK_BACK, 1);
               },
               calls) /
           2;
}

}  // namespace

int main() {
    int missed = 0;
    {
        TestPrinter printer(L"PinPrint Bench");
        LoadedPlugin loaded;
        IPrintOemUI* plugin = loaded.CreatePlugin();
        if (!printer.ok() || plugin == nullptr ||
            !printer.SetOptions(pinprint::DRVOPT_SECURE_PAGE)) {
            fprintf(stderr, "cannot install the bench printer or load pinprintui.dll\n");
            return 1;
        }
        const std::wstring resourcePath = printer.DriverDirectory() + L"pinprintlg.dll";
        if (GetFileAttributesW(resourcePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
            fprintf(stderr, "the resource module is not in the driver directory\n");
            return 1;
        }
        const drvhost::DriverHeap heap;
        constexpr int kCalls = 200;
        // Interleaved, so that a slow stretch of the machine hits both alike.
        const double floorNs =
            SpoolerFloorNs(printer.handle(), loaded.module(), resourcePath, kCalls);
        const double sheetNs = SheetInitDestroyNs(plugin, printer.handle(), heap.get(), kCalls);
        const double floorNs2 =
            SpoolerFloorNs(printer.handle(), loaded.module(), resourcePath, kCalls);
        const double sheetNs2 = SheetInitDestroyNs(plugin, printer.handle(), heap.get(), kCalls);
        plugin->Release();
        missed += bench::Report("Document sheet INIT+DESTROY (median of 9 x 200, two rounds)",
                                {{"INIT+DESTROY, secure-print page (round 1)", sheetNs,
                                  "spooler+loader+SxS calls", floorNs, 1.3},
                                 {"INIT+DESTROY, secure-print page (round 2)", sheetNs2,
                                  "spooler+loader+SxS calls", floorNs2, 1.3}});
    }
    {
        Edits plain(false);
        Edits filtered(true);
        constexpr int kCalls = 2000;
        const double plainNs = KeystrokeNs(plain.edit, kCalls);
        const double filteredNs = KeystrokeNs(filtered.edit, kCalls);
        // What the full rule asks of user32 per keystroke: the page's layout as it is now.
        const double layoutNs = bench::MedianNsPerCall(
            [&] {
                const HWND page = GetParent(filtered.edit);
                volatile bool visible = IsWindowVisible(GetDlgItem(page, IDC_NAMES_AUTO)) ||
                                        IsWindowVisible(GetDlgItem(page, IDC_NAME_NOTE_ALT));
                (void)visible;
            },
            kCalls);
        missed += bench::Report(
            "Name filter per keystroke (WM_CHAR, median of 9 x 2000 pairs)",
            {{"edit with the full name filter", filteredNs, "same edit, no filter", plainNs, 0},
             {"of it: the layout look-up alone", layoutNs, "same edit, no filter", plainNs, 0}});
    }
    return missed == 0 ? 0 : 3;
}
