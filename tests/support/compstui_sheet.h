// A printer of the test's own with the plug-in loaded as the driver loads it, whose sheets
// open through compstui's CommonPropertySheetUIW with the driver host's sheet function
// (tools/drvhost/driver_sheet.h), on the driver's heap and devmode (driver_side.h).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "pages/sheet_context.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_sheet.h"

namespace pinprint::test {

// What a sheet showed while it was open, and how it ended.
struct SheetSeen {
    HWND sheet = nullptr;
    HWND page = nullptr;
    std::vector<int> missingControls;
    SheetContext* pageContext = nullptr;
    bool resourceModuleLoaded = false;
    int heapBlocks = -1;
    int pages = 0;        // the sheet's tabs: the driver's own page first, then the plug-in's
    bool opened = false;  // compstui could be had
    LONG sheetResult = 0;
    bool entryAdded = false;
    HRESULT initResult = E_FAIL;
    ULONG_PTR initUserData = 0;
};

class CompstuiSheetTest : public ::testing::Test {
  protected:
    explicit CompstuiSheetTest(const wchar_t* printerName, DriverSetup driver = {})
        : printerName_(printerName), driver_(driver) {}
    void SetUp() override;
    void TearDown() override;

    // Opens the sheet, records what it shows (and which of `controls` its page lacks), runs
    // `whileShown` with the sheet and the page it shows, and closes it with OK `closeAfterMs`
    // after it was shown, looking every `watchEveryMs`.
    SheetSeen Open(drvhost::SheetKind kind, std::initializer_list<int> controls = {},
                   DWORD closeAfterMs = 200, DWORD watchEveryMs = 100,
                   const std::function<void(HWND, HWND)>& whileShown = {});
    bool ResourceModuleLoaded() const { return GetModuleHandleW(lgPath_.c_str()) != nullptr; }

    LoadedPlugin loaded_;
    std::unique_ptr<TestPrinter> printer_;
    IPrintOemUI* plugin_ = nullptr;
    drvhost::DriverHeap heap_;
    std::vector<BYTE> devmode_;

  private:
    std::wstring printerName_;
    DriverSetup driver_;
    std::wstring lgPath_ = BinPath(L"pinprintlg.dll");
    HMODULE compstui_ = nullptr;
};

}  // namespace pinprint::test
