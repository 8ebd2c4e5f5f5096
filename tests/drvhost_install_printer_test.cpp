// drvhost install end to end: the sample package goes into Wine's spooler, the printer is
// initialized through the installed plug-in, and a second install replaces the first.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "config/driver_options.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

constexpr wchar_t kPrinter[] = L"PinPrint Install Test";

// Runs drvhost with `arguments`; its exit code, and what it printed in `output`.
DWORD RunHost(const std::wstring& arguments, std::string& output) {
    const test::ChildResult run = test::RunChild(test::BinPath(L"drvhost.exe"), arguments);
    output = run.output;
    return run.started ? run.exitCode : 1001;
}

void RemovePrinter() {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &defaults)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

TEST(DrvhostInstall, InstallsInitializesAndReplaces) {
    if (GetFileAttributesW(test::BinPath(L"..\\package\\pinprint.inf").c_str()) ==
        INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the sample package is not assembled in this build";
    }
    RemovePrinter();
    std::string output;
    ASSERT_EQ(RunHost(std::wstring(L"install --printer \"") + kPrinter + L"\"", output), 0u)
        << output;
    EXPECT_NE(output.find("0x00000101  DRVOPT_SECURE_PAGE | DRVOPT_ABOUT_PAGE"), std::string::npos)
        << output;
    EXPECT_EQ(output.find("replacing"), std::string::npos);

    // The second install replaces the first and initializes the printer again.
    ASSERT_EQ(RunHost(std::wstring(L"install --printer \"") + kPrinter + L"\"", output), 0u)
        << output;
    EXPECT_NE(output.find("replacing the earlier one"), std::string::npos) << output;

    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &defaults));
    EXPECT_EQ(ReadDriverOptions(printer), DRVOPT_SECURE_PAGE | DRVOPT_ABOUT_PAGE);
    DWORD type = 0;
    DWORD needed = 0;
    wchar_t text[256] = {};
    EXPECT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(L"CopyrightYear1"), &type,
                              reinterpret_cast<LPBYTE>(text), sizeof(text), &needed),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(needed, 512u);
    EXPECT_STRNE(text, L"");
    ClosePrinter(printer);
    RemovePrinter();
}

}  // namespace
}  // namespace pinprint
