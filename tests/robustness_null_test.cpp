// The path builders and lookups given no buffer or no printer: a clear "nothing" and no write.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/driver_files.h"
#include "config/help_launcher.h"
#include "config/printer_settings.h"
#include "support/test_printer.h"

namespace pinprint::test {
namespace {

TEST(RobustnessNull, PathBuildersRefuseMissingBuffersAndPrinters) {
    DriverSpec spec;
    spec.driverName = L"PinPrint Robustness Null Driver";
    TestPrinter printer(L"PinPrint Robustness Null", spec);
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

}  // namespace
}  // namespace pinprint::test
