// The path builders and lookups given no buffer or no printer: a clear "nothing" and no write.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/driver_files.h"
#include "config/help_launcher.h"
#include "config/printer_settings.h"
#include "pages/page_procs.h"
#include "platform/oemui.h"
#include "platform/property_sheet_page.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

TEST(RobustnessNull, PathBuildersRefuseMissingBuffersAndPrinters) {
    TestPrinter printer(L"PinPrint Robustness Null");
    ASSERT_TRUE(printer.ok());

    for (HANDLE handle : {HANDLE(nullptr), printer.handle()}) {
        SCOPED_TRACE(handle == nullptr ? "no printer" : "installed printer");
        BuildResourceModulePath(handle, nullptr);
        EXPECT_EQ(BuildHelpFilePath(handle, nullptr), 0u);
        EXPECT_EQ(BuildSettingsFilePath(handle, nullptr), 0u);
        EXPECT_EQ(FindResourceModuleName(handle, nullptr), 0);
        EXPECT_EQ(FindHelpFileName(handle, nullptr), 0);
    }

    // Without a printer nothing is found and the buffers say so.
    std::wstring path(kPathChars, L'#');
    path.replace(0, 13, L"C:\\dir\\a.dll");
    BuildResourceModulePath(nullptr, path.data());
    EXPECT_EQ(path[0], L'\0');
    path.assign(kPathChars, L'#');
    EXPECT_EQ(BuildHelpFilePath(nullptr, path.data()), 0u);
    EXPECT_EQ(BuildSettingsFilePath(nullptr, path.data()), 0u);
    EXPECT_EQ(FindResourceModuleName(nullptr, path.data()), 0);
    EXPECT_EQ(FindHelpFileName(nullptr, path.data()), 0);
    EXPECT_EQ(path, std::wstring(kPathChars, L'#'));
    EXPECT_EQ(FindHelpControlPath(nullptr), 0);
}

// Interface requests without a place for the answer, on the loaded DLL's factory and object.
TEST(RobustnessNull, InterfaceRequestsWithoutAnOutPointer) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.module(), nullptr);
    void* factory = nullptr;
    ASSERT_EQ(plugin.GetClassObject(CLSID_OEMUI, IID_IClassFactory, &factory), S_OK);
    auto* classFactory = static_cast<IClassFactory*>(factory);
    EXPECT_EQ(classFactory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    IPrintOemUI* object = plugin.CreatePlugin();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IPrintOemUI, nullptr), E_POINTER);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(classFactory->Release(), 0u);
    EXPECT_EQ(plugin.CanUnloadNow(), S_OK);
}

// Messages before WM_INITDIALOG, and after one without a page record or with one that carries
// no context: the pages stay uninitialized and answer nothing.
TEST(RobustnessNull, PagesWithoutAContextAnswerNothing) {
    using Proc = INT_PTR(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
    struct Case {
        const char* what;
        Proc proc;
        // TRUE lets the dialog manager give the focus to the first control, as the secure-print
        // page asks; the About page answers FALSE and leaves the focus where it is.
        INT_PTR initAnswer;
    };
    const Case cases[] = {{"secure-print page", SecurePrintPageProc, TRUE},
                          {"About page", AboutPageProc, FALSE}};
    PropSheetPageFull withoutContext{};
    withoutContext.dwSize = sizeof(withoutContext);
    const struct {
        const char* what;
        bool initialized;
        LPARAM record;
    } inits[] = {{", before WM_INITDIALOG", false, 0},
                 {", no record", true, 0},
                 {", no context", true, reinterpret_cast<LPARAM>(&withoutContext)}};
    for (const Case& c : cases) {
        for (const auto& init : inits) {
            SCOPED_TRACE(std::string(c.what) + init.what);
            // A dialog-class window whose DWLP_USER slot is still empty.
            HWND window = CreateWindowW(L"#32770", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        nullptr, nullptr);
            ASSERT_NE(window, nullptr);
            if (init.initialized) {
                EXPECT_EQ(c.proc(window, WM_INITDIALOG, 0, init.record), c.initAnswer);
            }
            EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), 0);
            for (UINT message : {WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLORSTATIC, WM_HELP,
                                 WM_ERASEBKGND, WM_LBUTTONDBLCLK, WM_CLOSE, WM_DESTROY}) {
                EXPECT_EQ(c.proc(window, message, 0, 0), FALSE) << message;
            }
            DestroyWindow(window);
        }
    }
}

}  // namespace
}  // namespace pinprint::test
