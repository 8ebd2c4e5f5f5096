// Both sheets opened for real: compstui's CommonPropertySheetUIW builds them from the driver's
// sheet function, the plug-in's entry adds its page, and comctl32 creates the page from the
// plug-in's PROPSHEETPAGEW. The sheet is closed with OK once it has been looked at.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "resmodule/resource_ids.h"
#include "support/sheet_harness.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_sheet.h"

namespace pinprint {
namespace {

using drvhost::DriverSheet;
using drvhost::SheetKind;
using test::BinPath;
using test::DriverHeap;
using test::DriverSetup;
using test::LoadedPlugin;
using test::TestPrinter;

// What the sheet showed while it was open.
struct Seen {
    HWND sheet = nullptr;
    HWND page = nullptr;
    std::vector<int> missingControls;
    SheetContext* pageContext = nullptr;
    bool resourceModuleLoaded = false;
    int heapBlocks = -1;
};

class RealSheets : public ::testing::Test {
  protected:
    void SetUp() override {
        DriverSetup driver;
        driver.driverName = L"PinPrint Sheets Real";
        printer_ = std::make_unique<TestPrinter>(L"Sheets Real", driver);
        ASSERT_TRUE(printer_->ok());
        plugin_ = loaded_.CreatePlugin();
        ASSERT_NE(plugin_, nullptr);
        ASSERT_EQ(GetModuleHandleW(lgPath_.c_str()), nullptr);
        // The driver's devmode: public part and the plug-in's private block.
        ASSERT_TRUE(pinprint::test::DefaultDevmodeBlock(plugin_, devmode_));
    }
    void TearDown() override {
        if (plugin_ != nullptr) {
            plugin_->Release();
        }
    }

    // Opens the sheet, records what it shows, and closes it with OK.
    Seen Open(SheetKind kind, std::initializer_list<int> controls) {
        Seen seen;
        DriverSheet sheet;
        sheet.entry.uiParam.cbSize = sizeof(OEMUIPSPARAM);
        sheet.entry.uiParam.hPrinter = printer_->handle();
        sheet.entry.uiParam.pPrinterName = const_cast<PWSTR>(printer_->name().c_str());
        sheet.entry.uiParam.hModule = loaded_.module();
        sheet.entry.uiParam.hOEMHeap = heap_.get();
        sheet.entry.uiParam.pPublicDM = reinterpret_cast<DEVMODEW*>(devmode_.data());
        sheet.entry.uiParam.pOEMDM = devmode_.data() + sizeof(DEVMODEW);
        sheet.entry.plugin = plugin_;
        sheet.entry.kind = kind;
        sheet.title = L"Sheets Real";
        sheet.closeAfterMs = 200;
        sheet.onShown = [&](HWND window) {
            seen.sheet = window;
            seen.page = drvhost::CurrentPage(window);
            for (int id : controls) {
                if (GetDlgItem(seen.page, id) == nullptr) {
                    seen.missingControls.push_back(id);
                }
            }
            seen.pageContext = ContextOf(seen.page);
            seen.resourceModuleLoaded = GetModuleHandleW(lgPath_.c_str()) != nullptr;
            seen.heapBlocks = heap_.BusyBlocks();
        };
        EXPECT_TRUE(drvhost::OpenDriverSheet(sheet));
        EXPECT_TRUE(sheet.pluginEntryAdded);
        EXPECT_EQ(sheet.entry.initResult, S_OK);
        if (seen.sheet != nullptr) {
            EXPECT_EQ(sheet.sheetResult, CPSUI_OK);
            EXPECT_EQ(reinterpret_cast<ULONG_PTR>(seen.pageContext), sheet.entry.initUserData)
                << "the page did not receive its SheetContext";
        } else {
            result_ = sheet.sheetResult;
        }
        return seen;
    }

    LoadedPlugin loaded_;
    std::unique_ptr<TestPrinter> printer_;
    IPrintOemUI* plugin_ = nullptr;
    DriverHeap heap_;
    std::vector<BYTE> devmode_;
    std::wstring lgPath_ = BinPath(L"pinprintlg.dll");
    LONG result_ = 0;
};

TEST_F(RealSheets, PrintingPreferencesShowTheSecurePrintPage) {
    ASSERT_TRUE(printer_->SetOptions(0x1));
    const Seen seen =
        Open(SheetKind::Document,
             {IDC_SECURE_ENABLE, IDC_PIN_LABEL, IDC_PIN_EDIT, IDC_NAMES_AUTO, IDC_NAMES_CUSTOM,
              IDC_USER_NAME_EDIT, IDC_JOB_NAME_EDIT, IDC_SEPARATOR});
    ASSERT_NE(seen.sheet, nullptr) << "no sheet was shown";
    ASSERT_NE(seen.page, nullptr);
    EXPECT_TRUE(seen.missingControls.empty()) << "control " << seen.missingControls.front();
    EXPECT_TRUE(seen.resourceModuleLoaded);
    EXPECT_EQ(seen.heapBlocks, 1) << "one SheetContext while the sheet is open";
    // Closed: the window, the context and the module are gone.
    EXPECT_FALSE(IsWindow(seen.sheet));
    EXPECT_EQ(heap_.BusyBlocks(), 0);
    EXPECT_EQ(GetModuleHandleW(lgPath_.c_str()), nullptr);
}

TEST_F(RealSheets, PrinterPropertiesShowTheAboutPage) {
    ASSERT_TRUE(printer_->SetOptions(0x100));
    const Seen seen =
        Open(SheetKind::Device, {IDC_ABOUT_BAND, IDC_ABOUT_LOGO, IDC_ABOUT_NAME_VERSION,
                                 IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT1, IDC_ABOUT_COPYRIGHT2});
    ASSERT_NE(seen.sheet, nullptr) << "no sheet was shown";
    EXPECT_TRUE(seen.missingControls.empty()) << "control " << seen.missingControls.front();
    EXPECT_TRUE(seen.resourceModuleLoaded);
    EXPECT_EQ(seen.heapBlocks, 1);
    EXPECT_FALSE(IsWindow(seen.sheet));
    EXPECT_EQ(heap_.BusyBlocks(), 0);
    EXPECT_EQ(GetModuleHandleW(lgPath_.c_str()), nullptr) << "the device sheet kept its module";
}

// The options word asks for no page: compstui has nothing to show, and the context the
// plug-in created at INIT is still freed.
TEST_F(RealSheets, SheetsWithoutAPageFreeTheirContext) {
    ASSERT_TRUE(printer_->SetOptions(0x0));
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        const Seen seen = Open(kind, {});
        EXPECT_EQ(seen.sheet, nullptr);
        EXPECT_EQ(result_, ERR_CPSUI_NO_PROPSHEETPAGE);
        EXPECT_EQ(heap_.BusyBlocks(), 0);
        EXPECT_EQ(GetModuleHandleW(lgPath_.c_str()), nullptr);
    }
}

// The plug-in object hands both entries on, entry test included.
TEST_F(RealSheets, PluginObjectForwardsTheEntryTest) {
    PROPSHEETUI_INFO info = {};
    info.cbSize = sizeof(info);
    info.Version = 0x0101;
    for (auto entry : {&IPrintOemUI::DocumentPropertySheets, &IPrintOemUI::DevicePropertySheets}) {
        SetLastError(0);
        EXPECT_EQ((plugin_->*entry)(&info, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        SetLastError(0);
        EXPECT_EQ((plugin_->*entry)(nullptr, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

}  // namespace
}  // namespace pinprint
