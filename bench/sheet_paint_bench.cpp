// Printing Preferences as a person opens it: from CommonPropertySheetUIW to the first paint of
// the plug-in's page, which comes second after the driver's own page and is reached by clicking
// its tab the moment that page has painted; against the same sheet with only the driver's page,
// to that page's first paint. The same openings also give the driver's page's first paint with
// the plug-in's page in the sheet: what the plug-in adds to opening Printing Preferences at all.
// Both through compstui and the driver host's sheet function, with the plug-in loaded in both (in
// the second the options word asks for no page), interleaved in one run so that a slow stretch
// of the machine hits both alike.
//
// Reaching a second tab costs a second page however little its procedure does: the sheet builds
// it only when its tab is clicked, after the first page has painted. A third opening puts a bare
// page in the plug-in's place, made by the sheet from the same template (115, from the resource
// module) with a procedure that does nothing, clicked the same way: against it, the plug-in's
// page shows what its own work (INIT, the activation context, WM_INITDIALOG) adds.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <vector>

#include "bench.h"
#include "config/driver_options.h"
#include "resmodule/resource_ids.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_sheet.h"
#include "tools/drvhost/driver_side.h"

namespace {

using pinprint::test::DriverSetup;
using pinprint::test::LoadedPlugin;
using pinprint::test::TestPrinter;

constexpr wchar_t kOriginalProc[] = L"PinPrint.Bench.Proc";

// One opening of the sheet, on this thread.
enum class Second { None, PluginPage, BarePage };

INT_PTR CALLBACK BarePageProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

struct Opening {
    bool toPluginPage = false;  // a second page to click: the plug-in's or the bare one
    double start = 0;
    double driverPage = 0;  // the driver's page, after its first WM_PAINT
    double painted = 0;     // the page waited for, after its first WM_PAINT
    std::vector<HWND> seen;
};
Opening* current = nullptr;

void Finish(HWND sheet) {
    current->painted = bench::Now();
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

// Every page of the sheet, subclassed when it is made: its first paint decides what comes next.
LRESULT CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(page, kOriginalProc));
    const LRESULT result = CallWindowProcW(original, page, message, wParam, lParam);
    if (message == WM_PAINT && current != nullptr && current->painted == 0 &&
        std::find(current->seen.begin(), current->seen.end(), page) == current->seen.end()) {
        current->seen.push_back(page);
        const HWND sheet = GetParent(page);
        if (GetDlgItem(page, IDC_SECURE_ENABLE) != nullptr || !current->toPluginPage) {
            Finish(sheet);
        } else {
            current->driverPage = bench::Now();
            PostMessageW(sheet, PSM_SETCURSEL, 1, 0);  // the plug-in's tab, clicked
        }
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(page, kOriginalProc);
    }
    return result;
}

LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG &&
        (GetWindowLongW(sent->hwnd, GWL_STYLE) & WS_CHILD) != 0) {
        SetPropW(sent->hwnd, kOriginalProc,
                 reinterpret_cast<HANDLE>(SetWindowLongPtrW(sent->hwnd, GWLP_WNDPROC,
                                                            reinterpret_cast<LONG_PTR>(PageProc))));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Nanoseconds from CommonPropertySheetUIW to the first paint of the page waited for, and of the
// driver's page before it; 0 when it never came.
struct Times {
    double page = 0;
    double driverPage = 0;
};

Times OpenOnce(TestPrinter& printer, LoadedPlugin& loaded, IPrintOemUI* plugin, Second second,
               HMODULE resources) {
    const bool toPluginPage = second != Second::None;
    printer.SetOptions(second == Second::PluginPage ? pinprint::DRVOPT_SECURE_PAGE : 0);
    std::vector<BYTE> devmode;
    drvhost::DefaultDevmode(plugin, devmode);
    const drvhost::DriverHeap heap;
    drvhost::DriverSheet sheet;
    sheet.entry = {
        .uiParam = drvhost::DriverParameters(printer.handle(), printer.name().c_str(),
                                             loaded.module(), heap.get(), devmode.data()),
        .plugin = plugin,
        .kind = drvhost::SheetKind::Document};
    sheet.title = L"PinPrint Bench";
    PROPSHEETPAGEW bare = {};
    bare.dwSize = sizeof(bare);
    bare.hInstance = resources;
    bare.pszTemplate = MAKEINTRESOURCEW(IDD_SECURE_PRINT);
    bare.pfnDlgProc = BarePageProc;
    if (second == Second::BarePage) {
        sheet.extraPage = &bare;
    }
    Opening opening;
    opening.toPluginPage = toPluginPage;
    current = &opening;
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROCRET, WatchCreation, nullptr, GetCurrentThreadId());
    opening.start = bench::Now();
    drvhost::OpenDriverSheet(sheet);
    UnhookWindowsHookEx(hook);
    current = nullptr;
    if (opening.painted == 0) {
        return {};
    }
    const double end = toPluginPage ? opening.driverPage : opening.painted;
    return {(opening.painted - opening.start) * 1e9, (end - opening.start) * 1e9};
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    DriverSetup driver;
    driver.driverName = L"PinPrint Bench Paint";
    TestPrinter printer(L"PinPrint Bench Paint", driver);
    LoadedPlugin loaded;
    IPrintOemUI* plugin = loaded.CreatePlugin();
    if (!printer.ok() || plugin == nullptr) {
        fprintf(stderr, "cannot install the bench printer or load pinprintui.dll\n");
        return 1;
    }
    // Kept loaded, as the driver keeps it, so that no opening loads it afresh; and the first
    // opening of each kind loads what every later one finds loaded: not counted.
    const HMODULE compstui = LoadLibraryW(L"compstui.dll");
    // The bare page's template comes from the resource module the plug-in's page is made from.
    const HMODULE resources = LoadLibraryExW(pinprint::test::BinPath(L"pinprintlg.dll").c_str(),
                                             nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (resources == nullptr) {
        fprintf(stderr, "cannot load pinprintlg.dll\n");
        return 1;
    }
    for (Second second : {Second::PluginPage, Second::None, Second::BarePage}) {
        OpenOnce(printer, loaded, plugin, second, resources);
    }
    constexpr int kRounds = 25;
    std::vector<double> toPluginPage, toDriverPage, driverPageOnly, toBarePage;
    for (int i = 0; i < kRounds; ++i) {
        const Times with = OpenOnce(printer, loaded, plugin, Second::PluginPage, resources);
        const Times without = OpenOnce(printer, loaded, plugin, Second::None, resources);
        const Times bare = OpenOnce(printer, loaded, plugin, Second::BarePage, resources);
        if (with.page == 0 || without.page == 0 || bare.page == 0) {
            fprintf(stderr, "a sheet closed before its page painted\n");
            return 1;
        }
        toPluginPage.push_back(with.page);
        toDriverPage.push_back(with.driverPage);
        driverPageOnly.push_back(without.page);
        toBarePage.push_back(bare.page);
    }
    plugin->Release();
    FreeLibrary(resources);
    FreeLibrary(compstui);
    // One call is one opening of the sheet. The first row holds reaching a second tab against a
    // sheet of one page, which measures the tab as much as the plug-in; the second row holds the
    // plug-in's own share.
    const int missed = bench::Report(
        "Printing Preferences from CommonPropertySheetUIW to a page's first paint (median of 25 "
        "openings each, interleaved)",
        {{"to the plug-in's page (second tab, clicked when the first has painted)",
          Median(toPluginPage), "to the driver's page, sheet without the plug-in's page",
          Median(driverPageOnly), 1.1},
         {"to the plug-in's page (second tab, clicked when the first has painted)",
          Median(toPluginPage), "to a bare page of the same template in its place, clicked alike",
          Median(toBarePage), 1.1},
         {"to the driver's page, the plug-in's page in the sheet", Median(toDriverPage),
          "to the driver's page, sheet without the plug-in's page", Median(driverPageOnly), 1.1}});
    return missed == 0 ? 0 : 3;
}
