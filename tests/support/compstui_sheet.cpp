#include "support/compstui_sheet.h"

#include <commctrl.h>
#include <prsht.h>

namespace pinprint::test {

void CompstuiSheetTest::SetUp() {
    printer_ = std::make_unique<TestPrinter>(printerName_, driver_);
    ASSERT_TRUE(printer_->ok());
    plugin_ = loaded_.CreatePlugin();
    ASSERT_NE(plugin_, nullptr);
    ASSERT_FALSE(ResourceModuleLoaded());
    // Kept loaded, as the driver keeps it, so that a sheet does not load it afresh.
    compstui_ = LoadLibraryW(L"compstui.dll");
    ASSERT_NE(compstui_, nullptr);
    ASSERT_TRUE(drvhost::DefaultDevmode(plugin_, devmode_));
}

void CompstuiSheetTest::TearDown() {
    if (plugin_ != nullptr) {
        plugin_->Release();
    }
    if (compstui_ != nullptr) {
        FreeLibrary(compstui_);
    }
}

SheetSeen CompstuiSheetTest::Open(drvhost::SheetKind kind, std::initializer_list<int> controls,
                                  DWORD closeAfterMs, DWORD watchEveryMs,
                                  const std::function<void(HWND, HWND)>& whileShown) {
    SheetSeen seen;
    drvhost::DriverSheet sheet;
    sheet.entry = {
        .uiParam = drvhost::DriverParameters(printer_->handle(), printer_->name().c_str(),
                                             loaded_.module(), heap_.get(), devmode_.data()),
        .plugin = plugin_,
        .kind = kind};
    sheet.title = printerName_;
    sheet.closeAfterMs = closeAfterMs;
    sheet.watchEveryMs = watchEveryMs;
    sheet.onShown = [&](HWND window) {
        seen.sheet = window;
        seen.page = drvhost::CurrentPage(window);
        for (int id : controls) {
            if (GetDlgItem(seen.page, id) == nullptr) {
                seen.missingControls.push_back(id);
            }
        }
        seen.pageContext = seen.page != nullptr ? ContextOf(seen.page) : nullptr;
        seen.resourceModuleLoaded = ResourceModuleLoaded();
        seen.heapBlocks = heap_.BusyBlocks();
        seen.pages =
            static_cast<int>(SendMessageW(PropSheet_GetTabControl(window), TCM_GETITEMCOUNT, 0, 0));
        if (whileShown) {
            whileShown(window, seen.page);
        }
    };
    seen.opened = drvhost::OpenDriverSheet(sheet);
    seen.sheetResult = sheet.sheetResult;
    seen.entryAdded = sheet.pluginEntryAdded;
    seen.initResult = sheet.entry.initResult;
    seen.initUserData = sheet.entry.initUserData;
    return seen;
}

}  // namespace pinprint::test
