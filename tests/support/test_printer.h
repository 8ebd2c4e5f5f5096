// Printers in Wine's real spooler for the tests: a driver installed with the dependent files,
// data file and help file a test chooses, and a printer using it, both removed at scope end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pinprint::test {

struct DriverSpec {
    std::wstring driverName;  // unique per test
    std::wstring dataFile = L"PINPRINT.PPD";
    std::wstring helpFile = L"PSCRIPT.HLP";
    std::vector<std::wstring> dependentFiles = {L"pinprintui.dll", L"pinprintlg.dll",
                                                L"pinprint.chm", L"PINPRINT.INI", L"PINPRINT.DAT"};
    // Settings file content written beside the data file ("" writes none).
    std::string settingsFile;
};

class TestPrinter {
  public:
    // Installs the driver and a printer named `printerName`. ok() tells whether it worked.
    TestPrinter(const std::wstring& printerName, const DriverSpec& spec);
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

    bool ok() const { return handle_ != nullptr; }
    HANDLE handle() const { return handle_; }  // opened with PRINTER_ALL_ACCESS
    const std::wstring& name() const { return name_; }
    std::wstring DriverDirectory() const;  // with trailing backslash

    // Printer data helpers.
    bool SetOptions(DWORD options);  // "VkDriverOptions" as REG_DWORD
    bool RemoveOptions();
    bool SetString(const wchar_t* value, const std::wstring& text, DWORD bytes = 512);

  private:
    std::wstring name_;
    std::wstring driverName_;
    HANDLE handle_ = nullptr;
};

}  // namespace pinprint::test
