// drvhost install end to end: the sample package goes into Wine's spooler, the printer is
// initialized through the installed plug-in, and a second install replaces the first.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "config/driver_options.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

constexpr wchar_t kPrinter[] = L"PinPrint Install Test";

// Runs drvhost with `arguments`; its exit code, and its standard output in `output`.
DWORD RunHost(const std::wstring& arguments, std::string& output) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) {
        return 1000;
    }
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    const std::wstring exe = test::BinPath(L"drvhost.exe");
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(write);
    output.clear();
    char chunk[512];
    DWORD got = 0;
    while (started && ReadFile(read, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        output.append(chunk, got);
    }
    CloseHandle(read);
    if (!started) {
        return 1001;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1002;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
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
