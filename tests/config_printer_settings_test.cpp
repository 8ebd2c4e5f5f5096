// Printer initialization end to end: the plug-in DLL gets PRINTER_EVENT_INITIALIZE for a printer
// in Wine's spooler and copies the settings file beside the driver's data file into printer data.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winddiui.h>

#include <string>
#include <vector>

#include "config/driver_files.h"
#include "config/driver_options.h"
#include "config/printer_settings.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

using test::DriverSetup;
using test::TestPrinter;

DriverSetup DriverFor(const std::wstring& tag, const std::string& settings) {
    DriverSetup driver;
    driver.driverName = L"PinPrint PS Driver " + tag;
    driver.dataFile = L"PS" + tag + L".PPD";
    driver.dependentFiles = {L"pinprintui.dll", L"pinprintlg.dll"};
    driver.settingsFile = settings;
    return driver;
}

// Sends the event through the plug-in DLL, the way the driver forwards DrvPrinterEvent.
HRESULT SendEvent(const std::wstring& printer, INT event) {
    test::LoadedPlugin dll;
    IPrintOemUI* plugin = dll.CreatePlugin();
    if (plugin == nullptr) {
        return E_UNEXPECTED;
    }
    const HRESULT result = plugin->PrinterEvent(const_cast<PWSTR>(printer.c_str()), event, 0, 0);
    plugin->Release();
    return result;
}

struct Stored {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Stored Read(const TestPrinter& printer, const wchar_t* value) {
    Stored s;
    s.present = printer.ReadValue(value, s.type, s.data);
    return s;
}

DWORD StoredOptions(const TestPrinter& printer) {
    const Stored s = Read(printer, L"VkDriverOptions");
    EXPECT_TRUE(s.present);
    EXPECT_EQ(s.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(s.data.size(), 4u);
    DWORD value = 0;
    if (s.data.size() == 4) {
        memcpy(&value, s.data.data(), 4);
    }
    return value;
}

// The text of a copyright value, after checking that it is the whole 512-byte buffer with
// nothing but zeros after the text.
std::wstring StoredCopyright(const TestPrinter& printer, const wchar_t* value) {
    const Stored s = Read(printer, value);
    EXPECT_TRUE(s.present) << value;
    EXPECT_EQ(s.type, static_cast<DWORD>(REG_SZ)) << value;
    EXPECT_EQ(s.data.size(), 512u) << value;
    if (s.data.size() != 512) {
        return L"?";
    }
    const auto* chars = reinterpret_cast<const wchar_t*>(s.data.data());
    const std::wstring text(chars, wcsnlen(chars, 256));
    for (size_t i = text.size(); i < 256; ++i) {
        EXPECT_EQ(chars[i], L'\0') << value << " at " << i;
    }
    return text;
}

// Printer data written before is overwritten, never left, whatever the file holds.
TEST(PrinterSettings, InitializationCopiesTheSettingsFile) {
    std::string longText;
    for (int i = 0; i < 300; ++i) {
        longText.push_back(static_cast<char>('A' + i % 26));
    }
    const struct {
        std::string file;
        DWORD options;
        const wchar_t* year1;
        std::wstring year2;
    } cases[] = {
        {"[Other]\r\nVkDriverOptions=3\r\n[DriverInfo]\r\nVkDriverOptions=257\r\n"
         "VkDriverType=7\r\nCopyrightYear1=Copyright 2001-2024 PinPrint\r\n"
         "CopyrightYear2=All rights reserved.\r\n",
         0x101, L"Copyright 2001-2024 PinPrint", L"All rights reserved."},
        // Missing file, section or keys give the defaults.
        {"", 0, L"", {}},
        {"[Elsewhere]\r\nVkDriverOptions=257\r\n", 0, L"", {}},
        {"[DriverInfo]\r\nVkDriverType=1\r\n", 0, L"", {}},
        // A long copyright is cut to 255 characters.
        {"[DriverInfo]\r\nCopyrightYear2=" + longText + "\r\n", 0, L"",
         std::wstring(longText.begin(), longText.begin() + 255)},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TestPrinter printer(L"PinPrint PS Copy " + std::to_wstring(index),
                            DriverFor(L"C" + std::to_wstring(index), c.file));
        ++index;
        ASSERT_TRUE(printer.ok());
        ASSERT_TRUE(printer.SetOptions(0xFFFF));
        EXPECT_EQ(SendEvent(printer.name(), PRINTER_EVENT_INITIALIZE), S_OK);
        EXPECT_EQ(StoredOptions(printer), c.options);
        EXPECT_EQ(ReadDriverOptions(printer.handle()), c.options);
        EXPECT_EQ(StoredCopyright(printer, L"CopyrightYear1"), c.year1);
        EXPECT_EQ(StoredCopyright(printer, L"CopyrightYear2"), c.year2);
        // The type is carried in the file only.
        EXPECT_FALSE(Read(printer, L"VkDriverType").present);
    }
}

TEST(PrinterSettings, ReinitializationReplacesAllThreeValues) {
    TestPrinter printer(L"PinPrint PS Again", DriverFor(L"A",
                                                        "[DriverInfo]\r\nVkDriverOptions=289\r\n"
                                                        "CopyrightYear1=First\r\n"
                                                        "CopyrightYear2=Second line\r\n"));
    ASSERT_TRUE(printer.ok());
    EXPECT_EQ(SendEvent(printer.name(), PRINTER_EVENT_INITIALIZE), S_OK);
    EXPECT_EQ(StoredOptions(printer), 0x121u);
    EXPECT_EQ(StoredCopyright(printer, L"CopyrightYear2"), L"Second line");

    ASSERT_TRUE(printer.WriteSettingsFile(
        "[DriverInfo]\r\nVkDriverOptions=16777473\r\nCopyrightYear1=Changed\r\n"));
    EXPECT_EQ(SendEvent(printer.name(), PRINTER_EVENT_INITIALIZE), S_OK);
    EXPECT_EQ(StoredOptions(printer), 0x1000101u);
    EXPECT_EQ(StoredCopyright(printer, L"CopyrightYear1"), L"Changed");
    EXPECT_EQ(StoredCopyright(printer, L"CopyrightYear2"), L"");
}

TEST(PrinterSettings, OtherEventsAndUnknownPrintersAreDeclined) {
    TestPrinter printer(L"PinPrint PS Events",
                        DriverFor(L"E", "[DriverInfo]\r\nVkDriverOptions=257\r\n"));
    ASSERT_TRUE(printer.ok());
    ASSERT_TRUE(printer.SetOptions(0x55));
    for (INT event : {PRINTER_EVENT_ADD_CONNECTION, PRINTER_EVENT_DELETE_CONNECTION,
                      PRINTER_EVENT_DELETE, 0, 5, -1}) {
        EXPECT_EQ(SendEvent(printer.name(), event), E_NOTIMPL) << event;
    }
    EXPECT_EQ(StoredOptions(printer), 0x55u) << "nothing was written";
    EXPECT_FALSE(Read(printer, L"CopyrightYear1").present);

    EXPECT_EQ(SendEvent(L"PinPrint PS No Such Printer", PRINTER_EVENT_INITIALIZE), E_NOTIMPL);
    EXPECT_EQ(HandlePrinterEvent(nullptr, PRINTER_EVENT_INITIALIZE, 0, 0), E_NOTIMPL);
}

TEST(PrinterSettings, SettingsPathFollowsTheDataFile) {
    // The spooler keeps the data file in its version folder; the name decides the length.
    const size_t folder =
        TestPrinter(L"PinPrint PS Probe", DriverFor(L"P", "")).DriverDirectory().size();
    ASSERT_GT(folder, 0u);
    struct Case {
        size_t nameLength;  // of the data file's name
        bool fits;
    } cases[] = {
        {12, true},
        {kPathChars - 1 - folder, true},  // 259 characters: the terminator still fits
        {kPathChars - folder, false},     // 260
        {kPathChars + 40 - folder, false},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nameLength);
        DriverSetup driver = DriverFor(L"S" + std::to_wstring(index), "");
        driver.dataFile = L"PS" + std::to_wstring(index) + L"_";
        driver.dataFile.resize(c.nameLength - 4, L'D');
        driver.dataFile += L".PPD";
        TestPrinter printer(L"PinPrint PS Path " + std::to_wstring(index++), driver);
        ASSERT_TRUE(printer.ok());
        ASSERT_TRUE(printer.SetOptions(0x77));

        wchar_t path[kPathChars];
        wmemset(path, L'#', kPathChars);
        const size_t length = BuildSettingsFilePath(printer.handle(), path);
        if (c.fits) {
            const std::wstring expected =
                printer.DriverDirectory() + driver.dataFile.substr(0, c.nameLength - 3) + L"DAT";
            EXPECT_EQ(length, expected.size());
            EXPECT_EQ(std::wstring(path), expected);
            EXPECT_EQ(InitializePrinterSettings(printer.handle()), S_OK);
            EXPECT_EQ(StoredOptions(printer), 0u);
        } else {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(path[0], L'#') << "nothing written";
            // No settings path: initialization fails and printer data stays as it was.
            EXPECT_EQ(InitializePrinterSettings(printer.handle()), E_FAIL);
            EXPECT_EQ(StoredOptions(printer), 0x77u);
            EXPECT_FALSE(Read(printer, L"CopyrightYear1").present);
        }
    }
}

TEST(DriverOptions, ReadingRule) {
    TestPrinter printer(L"PinPrint PS Options", DriverFor(L"O", ""));
    ASSERT_TRUE(printer.ok());
    EXPECT_EQ(ReadDriverOptions(printer.handle()), 0u) << "never initialized";
    ASSERT_TRUE(printer.SetOptions(DRVOPT_SECURE_PAGE | DRVOPT_ALT_TEMPLATE));
    EXPECT_TRUE(HasDriverOption(printer.handle(), DRVOPT_ALT_TEMPLATE));
    EXPECT_FALSE(HasDriverOption(printer.handle(), DRVOPT_ABOUT_PAGE));
    // A value larger than four bytes counts as all bits clear, whatever its type.
    ASSERT_TRUE(printer.SetString(L"VkDriverOptions", L"\x0121", 8));
    EXPECT_EQ(ReadDriverOptions(printer.handle()), 0u);
    ASSERT_TRUE(printer.RemoveOptions());
    EXPECT_EQ(ReadDriverOptions(printer.handle()), 0u);
    EXPECT_EQ(ReadDriverOptions(nullptr), 0u);
}

}  // namespace
}  // namespace pinprint
