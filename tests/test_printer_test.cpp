// The test printer itself: what the other tests build on must really be in the spooler.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "config/driver_options.h"
#include "support/test_printer.h"

namespace pinprint::test {
namespace {

std::vector<std::wstring> InstalledDependentFiles(HANDLE printer, std::wstring& helpFile) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    std::vector<std::wstring> files;
    if (needed == 0 || !GetPrinterDriverW(printer, nullptr, 3, block.data(), needed, &needed)) {
        return files;
    }
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.data());
    helpFile = info->pHelpFile ? info->pHelpFile : L"(null)";
    for (const wchar_t* p = info->pDependentFiles; p != nullptr && *p; p += wcslen(p) + 1) {
        files.emplace_back(p);
    }
    return files;
}

TEST(TestPrinter, InstallsOpensAndRemovesThePrinter) {
    DriverSpec spec;
    spec.driverName = L"PinPrint Test Driver TP1";
    spec.dataFile = L"TP1.PPD";
    spec.settingsFile = "[DriverInfo]\r\nVkDriverOptions=257\r\n";
    {
        TestPrinter printer(L"PinPrint Test Printer TP1", spec);
        ASSERT_TRUE(printer.ok());

        std::wstring help;
        const auto files = InstalledDependentFiles(printer.handle(), help);
        ASSERT_EQ(files.size(), spec.dependentFiles.size());
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(files[i], printer.DriverDirectory() + spec.dependentFiles[i]);
        }
        EXPECT_EQ(help, printer.DriverDirectory() + L"PSCRIPT.HLP");
        EXPECT_EQ(printer.SettingsFilePath(), printer.DriverDirectory() + L"TP1.DAT");
        EXPECT_EQ(GetPrivateProfileIntW(L"DriverInfo", L"VkDriverOptions", 0,
                                        printer.SettingsFilePath().c_str()),
                  257u);

        ASSERT_TRUE(printer.SetOptions(0x121));
        EXPECT_EQ(ReadDriverOptions(printer.handle()), 0x121u);
        ASSERT_TRUE(printer.RemoveOptions());
        EXPECT_EQ(ReadDriverOptions(printer.handle()), 0u);

        ASSERT_TRUE(printer.SetString(L"CopyrightYear1", L"(c) 2024"));
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(printer.ReadValue(L"CopyrightYear1", type, data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(data.size(), 512u);
        EXPECT_STREQ(reinterpret_cast<const wchar_t*>(data.data()), L"(c) 2024");
    }
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE gone = nullptr;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"PinPrint Test Printer TP1"), &gone, &defaults));
}

TEST(TestPrinter, InstallsADriverWithoutHelpFile) {
    DriverSpec spec;
    spec.driverName = L"PinPrint Test Driver TP2";
    spec.dataFile = L"TP2.PPD";
    spec.helpFile.clear();
    TestPrinter printer(L"PinPrint Test Printer TP2", spec);
    ASSERT_TRUE(printer.ok());
    EXPECT_EQ(GetFileAttributesW(printer.SettingsFilePath().c_str()), INVALID_FILE_ATTRIBUTES);
    std::wstring help;
    InstalledDependentFiles(printer.handle(), help);
    EXPECT_EQ(help, L"(null)");  // the spooler reports no help file as a null pHelpFile
}

}  // namespace
}  // namespace pinprint::test
