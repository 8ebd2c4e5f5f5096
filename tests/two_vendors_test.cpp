// Two vendors on one print server: the sample brand's package and a second brand's (built beside
// it, brands/kestrel/package) installed into the same spooler. Each printer loads its own
// plug-ins, shows its own pages (both sheets opened through compstui), texts, logo and help,
// binds its own PrintTicket namespace and writes its own jobs' envelope; neither install
// overwrites a file of the other.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <fstream>
#include <iterator>
#include <string>

#include "config/driver_files.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"
#include "support/child_process.h"
#include "support/test_handles.h"
#include "support/test_support.h"
#include "tools/drvhost/oem_plugin.h"

namespace pinprint::test {
namespace {

struct Vendor {
    const wchar_t* printer;
    const wchar_t* package;   // beside bin/
    const wchar_t* brandDir;  // where the build converted the brand's logo
    const wchar_t* stem;
    const char* namespaceUri;
    const wchar_t* owner;  // in the About page's copyright suffix
};

const Vendor kVendors[] = {
    {L"Vendor PinPrint", L"..\\package\\", L"..\\package-build\\brand\\", L"pinprint",
     "http://schemas.pinprint.example/2024/printing/securejob", L"PinPrint."},
    {L"Vendor Kestrel", L"..\\brands\\kestrel\\package\\", L"..\\package-build-1\\brand\\",
     L"kestrel", "http://schemas.kestrel-imaging.example/2026/securehold", L"Kestrel Imaging Ltd."},
};

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Host(const std::wstring& arguments) {
    const ChildResult run = RunChild(BinPath(L"drvhost.exe"), arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    return run.output;
}

std::wstring FileName(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

TEST(TwoVendors, EachPrinterKeepsItsOwnFilesPagesAndJobs) {
    if (GetFileAttributesW(BinPath(kVendors[1].package).c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the second brand is not built in this build";
    }
    for (const Vendor& v : kVendors) {
        Host(L"install --printer \"" + std::wstring(v.printer) + L"\" --package \"" +
             BinPath(v.package) + L".\"");
    }
    wchar_t driverDir[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(driverDir),
                                           sizeof(driverDir), &needed));
    const std::wstring installed = std::wstring(driverDir) + L"\\3\\";

    for (const Vendor& v : kVendors) {
        SCOPED_TRACE(testing::Message() << "printer " << testing::PrintToString(v.printer));
        // Every file of the package is in the driver folder as the package has it, after both
        // installs: nothing of one vendor's overwrote the other's.
        const std::wstring package = BinPath(v.package);
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((package + L"*.*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        int files = 0;
        do {
            const std::wstring name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                name.find(L".inf") == name.npos) {
                ++files;
                EXPECT_EQ(ReadFile(installed + name), ReadFile(package + name)) << name.c_str();
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        EXPECT_GE(files, 12);

        UniquePrinter printer;
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(v.printer), printer.put(), nullptr));
        const std::wstring ui = drvhost::OemPluginPath(printer.get());
        EXPECT_EQ(FileName(ui), std::wstring(v.stem) + L"ui.dll");
        EXPECT_EQ(FileName(drvhost::OemPluginPath(printer.get(), L"OEMDriverFile1")),
                  std::wstring(v.stem) + L"ps.dll");
        wchar_t help[kPathChars] = {};
        ASSERT_GT(BuildHelpFilePath(printer.get(), help), 0u);
        EXPECT_EQ(FileName(help), std::wstring(v.stem) + L".chm");

        // Its own logo (the bitmap resource is the converted file without its file header) and
        // texts.
        const UniqueModule plugin(LoadLibraryExW(ui.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(plugin);
        const HMODULE m = static_cast<HMODULE>(plugin.get());
        HRSRC logo = FindResourceW(m, MAKEINTRESOURCEW(IDB_LOGO), RT_BITMAP);
        ASSERT_NE(logo, nullptr);
        const std::string bitmap(static_cast<const char*>(LockResource(LoadResource(m, logo))),
                                 SizeofResource(m, logo));
        EXPECT_EQ(bitmap, ReadFile(BinPath(v.brandDir) + L"logo.bmp").substr(14));
        const UniqueModule texts(LoadLibraryExW((installed + v.stem + L"lg.dll").c_str(), nullptr,
                                                LOAD_LIBRARY_AS_DATAFILE));
        wchar_t suffix[128] = {};
        LoadStringW(static_cast<HMODULE>(texts.get()), IDS_COPYRIGHT1_SUFFIX, suffix, 128);
        EXPECT_STREQ(suffix, v.owner);

        // Both sheets, through compstui; the namespace; a secure job's envelope.
        const std::wstring on = L" --printer \"" + std::wstring(v.printer) + L"\"";
        const std::string stem = Utf8(v.stem);
        for (const wchar_t* sheet : {L"prefs", L"props"}) {
            const std::string shown = Host(sheet + on + L" --close-after 300");
            EXPECT_NE(shown.find(stem + "ui.dll"), std::string::npos) << shown;
        }
        EXPECT_NE(Host(L"ticket" + on).find(v.namespaceUri), std::string::npos);
        const std::wstring job = BinPath(L"two-vendors.prn");
        const std::string printed =
            Host(L"print" + on + L" --secure-pin 1234 --user-name Ann --job-name Q3 --out \"" +
                 job + L"\"");
        EXPECT_NE(printed.find(stem + "ps.dll"), std::string::npos) << printed;  // its renderer
        const std::string bytes = ReadFile(job);
        DeleteFileW(job.c_str());
        EXPECT_EQ(bytes.rfind("\x1B%-12345X@PJL\r\n@PJL JOB NAME=\"Q3\"\r\n", 0), 0u);
        EXPECT_NE(bytes.find("HOLDKEYDIGEST=\"03ac674216f3e15c761ee1a5e255f067953623c8b388b4459e1"
                             "3f978d7c846f4\""),
                  std::string::npos);
        PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        UniquePrinter removable;
        if (OpenPrinterW(const_cast<LPWSTR>(v.printer), removable.put(), &all)) {
            DeletePrinter(removable.get());
        }
    }
}

}  // namespace
}  // namespace pinprint::test
