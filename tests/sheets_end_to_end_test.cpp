// Both sheets opened for real: compstui's CommonPropertySheetUIW builds them from the driver's
// sheet function, the plug-in's entry adds its page, and comctl32 creates the page from the
// plug-in's PROPSHEETPAGEW. The sheet is closed with OK once it has been looked at.
//
// The driver host's sheet commands end to end as well: drvhost prefs and props open the sheets
// of a printer, capture them to PNG, close them, and report a freed context and the merged
// devmode.
// The PNG is checked with an independent reader: chunk CRCs (ntdll's RtlComputeCrc32), stored
// deflate blocks, the Adler-32 sum, and pixels that are not all one colour.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "platform/proc_address.h"
#include "resmodule/resource_ids.h"
#include "support/child_process.h"
#include "support/compstui_sheet.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

using drvhost::SheetKind;
using test::BinPath;
using test::SheetSeen;
using test::TestPrinter;

class RealSheets : public test::CompstuiSheetTest {
  protected:
    RealSheets() : CompstuiSheetTest(L"Sheets Real") {}

    // Opens the sheet, records what it shows, and closes it with OK: the driver's own page
    // first, then the plug-in's, whose tab the host clicks.
    SheetSeen Open(SheetKind kind, std::initializer_list<int> controls, bool pluginPage = true) {
        const SheetSeen seen = CompstuiSheetTest::Open(kind, controls);
        EXPECT_TRUE(seen.opened);
        EXPECT_TRUE(seen.entryAdded);
        EXPECT_EQ(seen.initResult, S_OK);
        EXPECT_EQ(seen.sheetResult, CPSUI_OK);
        EXPECT_EQ(seen.pages, pluginPage ? 2 : 1);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(seen.pageContext), pluginPage ? seen.initUserData : 0)
            << "the page shown did not receive its SheetContext";
        return seen;
    }
};

TEST_F(RealSheets, PrintingPreferencesShowTheSecurePrintPage) {
    ASSERT_TRUE(printer_->SetOptions(0x1));
    const SheetSeen seen =
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
    EXPECT_FALSE(ResourceModuleLoaded());
}

TEST_F(RealSheets, PrinterPropertiesShowTheAboutPage) {
    ASSERT_TRUE(printer_->SetOptions(0x100));
    const SheetSeen seen =
        Open(SheetKind::Device, {IDC_ABOUT_BAND, IDC_ABOUT_LOGO, IDC_ABOUT_NAME_VERSION,
                                 IDC_ABOUT_VERSION, IDC_ABOUT_COPYRIGHT1, IDC_ABOUT_COPYRIGHT2});
    ASSERT_NE(seen.sheet, nullptr) << "no sheet was shown";
    EXPECT_TRUE(seen.missingControls.empty()) << "control " << seen.missingControls.front();
    EXPECT_TRUE(seen.resourceModuleLoaded);
    EXPECT_EQ(seen.heapBlocks, 1);
    EXPECT_FALSE(IsWindow(seen.sheet));
    EXPECT_EQ(heap_.BusyBlocks(), 0);
    EXPECT_FALSE(ResourceModuleLoaded()) << "the device sheet kept its module";
}

// The options word asks for no page: the sheet shows the driver's own page alone, and the
// context the plug-in created at INIT is still freed.
TEST_F(RealSheets, SheetsWithoutAPageFreeTheirContext) {
    ASSERT_TRUE(printer_->SetOptions(0x0));
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        const SheetSeen seen = Open(kind, {}, false);
        EXPECT_NE(seen.sheet, nullptr);
        EXPECT_EQ(heap_.BusyBlocks(), 0);
        EXPECT_FALSE(ResourceModuleLoaded());
    }
}

// The plug-in object hands both entries on, entry test included.
TEST_F(RealSheets, PluginObjectForwardsTheEntryTest) {
    drvhost::SheetCall call(drvhost::DriverParameters(nullptr, nullptr, nullptr, heap_.get()));
    call.info.Version = 0x0101;
    for (auto entry : {&IPrintOemUI::DocumentPropertySheets, &IPrintOemUI::DevicePropertySheets}) {
        for (PROPSHEETUI_INFO* info : {&call.info, static_cast<PROPSHEETUI_INFO*>(nullptr)}) {
            SetLastError(0);
            EXPECT_EQ((plugin_->*entry)(info, 0), E_FAIL);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
}

// ---- The driver host's sheet commands ----

using test::RunChild;

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> raw;  // filter byte + RGB per row
};

uint32_t BigEndian(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads an 8-bit RGB PNG written with stored deflate blocks; fails the test on any flaw.
void ReadPng(const std::wstring& path, Image& image) {
    std::vector<uint8_t> file;
    {
        const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "no screenshot";
        file.resize(GetFileSize(handle, nullptr));
        DWORD read = 0;
        ReadFile(handle, file.data(), static_cast<DWORD>(file.size()), &read, nullptr);
        CloseHandle(handle);
        ASSERT_EQ(read, file.size());
    }
    using Crc32Fn = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
    const auto crc32 = ProcAddress<Crc32Fn>(GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32");
    ASSERT_NE(crc32, nullptr);
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(file.size(), 8u);
    ASSERT_EQ(memcmp(file.data(), signature, 8), 0);

    std::vector<uint8_t> zlib;
    bool ended = false;
    for (size_t at = 8; at + 12 <= file.size() && !ended;) {
        const uint32_t length = BigEndian(&file[at]);
        ASSERT_LE(at + 12 + length, file.size());
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        EXPECT_EQ(crc32(0, &file[at + 4], static_cast<INT>(length + 4)),
                  BigEndian(&file[at + 8 + length]))
            << type;
        const uint8_t* data = &file[at + 8];
        if (type == "IHDR") {
            ASSERT_EQ(length, 13u);
            image.width = BigEndian(data);
            image.height = BigEndian(data + 4);
            EXPECT_EQ(data[8], 8) << "bit depth";
            EXPECT_EQ(data[9], 2) << "colour type RGB";
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), data, data + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    ASSERT_TRUE(ended);
    ASSERT_GE(zlib.size(), 6u);
    EXPECT_EQ((zlib[0] << 8 | zlib[1]) % 31, 0) << "zlib header check";
    size_t at = 2;
    for (bool last = false; !last;) {
        ASSERT_LE(at + 5, zlib.size());
        last = (zlib[at] & 1) != 0;
        ASSERT_EQ(zlib[at] >> 1, 0) << "only stored blocks";
        const unsigned length = zlib[at + 1] | zlib[at + 2] << 8;
        const unsigned inverse = zlib[at + 3] | zlib[at + 4] << 8;
        ASSERT_EQ(length ^ 0xFFFF, inverse);
        ASSERT_LE(at + 5 + length, zlib.size());
        image.raw.insert(image.raw.end(), &zlib[at + 5], &zlib[at + 5] + length);
        at += 5 + length;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : image.raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    ASSERT_EQ(at + 4, zlib.size());
    EXPECT_EQ(BigEndian(&zlib[at]), (b << 16) | a) << "Adler-32";
}

class DriverHostSheets : public ::testing::Test {
  protected:
    void SetUp() override {
        printer_ = std::make_unique<TestPrinter>(L"Sheets Host");
        ASSERT_TRUE(printer_->ok());
        ASSERT_TRUE(printer_->SetOptions(0x101));
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        screenshot_ = std::wstring(temp) + L"pinprint_sheet_" +
                      std::to_wstring(GetCurrentProcessId()) + L".png";
    }
    void TearDown() override { DeleteFileW(screenshot_.c_str()); }

    void RunAndCheck(const wchar_t* command) {
        const std::wstring arguments =
            std::wstring(command) + L" --printer \"Sheets Host\" --close-after 300 --dll \"" +
            BinPath(L"pinprintui.dll") + L"\" --screenshot \"" + screenshot_ + L"\"";
        const test::ChildResult host = RunChild(BinPath(L"drvhost.exe"), arguments);
        ASSERT_TRUE(host.started);
        EXPECT_EQ(host.exitCode, 0u) << host.output;
        for (const char* line :
             {"Screenshot of the sheet written to", "CommonPropertySheetUIW: 1 (OK)",
              "Driver heap after DESTROY: 0 block(s) in use", "Private devmode (652 bytes"}) {
            EXPECT_NE(host.output.find(line), std::string::npos) << line << "\n" << host.output;
        }

        Image image;
        ReadPng(screenshot_, image);
        ASSERT_GT(image.width, 200u);
        ASSERT_GT(image.height, 200u);
        ASSERT_EQ(image.raw.size(), size_t{image.height} * (1 + size_t{image.width} * 3));
        std::set<uint32_t> colours;
        for (uint32_t y = 0; y < image.height; ++y) {
            const uint8_t* row = &image.raw[y * (1 + size_t{image.width} * 3)];
            ASSERT_EQ(row[0], 0) << "filter type of row " << y;
            for (uint32_t x = 0; x < image.width; ++x) {
                const uint8_t* p = row + 1 + x * 3;
                colours.insert(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
            }
        }
        EXPECT_GE(colours.size(), 4u) << "the capture shows no sheet";
    }

    std::unique_ptr<TestPrinter> printer_;
    std::wstring screenshot_;
};

TEST_F(DriverHostSheets, PrefsCapturesAndClosesTheDocumentSheet) {
    RunAndCheck(L"prefs");
}

TEST_F(DriverHostSheets, PropsCapturesAndClosesTheDeviceSheet) {
    RunAndCheck(L"props");
}

// A printer that is not installed is reported, not shown.
TEST(DriverHostSheetErrors, UnknownPrinterFails) {
    const test::ChildResult host =
        RunChild(BinPath(L"drvhost.exe"), L"prefs --printer \"No Such Printer\" --close-after 1");
    ASSERT_TRUE(host.started);
    EXPECT_EQ(host.exitCode, 1u);
    EXPECT_NE(host.output.find("cannot be opened"), std::string::npos) << host.output;
}

}  // namespace
}  // namespace pinprint
