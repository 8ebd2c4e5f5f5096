// Printers in Wine's real spooler for the tests: a driver installed with the dependent files,
// data file and help file a test chooses, and a printer using it, both removed at scope end.
//
// How Wine's spooler keeps driver files: AddPrinterDriverExW takes the file-name part of every
// file the driver names, copies that file from the driver directory
// (GetPrinterDriverDirectoryW, e.g. C:\windows\system32\spool\drivers\x64\) into its version
// folder (...\x64\3\), and GetPrinterDriverW later reports every file as a full path in that
// version folder, whether or not the file exists. So a dependent file "C:\LG\RES.DLL" comes back
// as "...\x64\3\RES.DLL". TestPrinter puts each named file into the driver directory before the
// install: the built file of that name from the test's bin folder when there is one (so
// "pinprintlg.dll" and "pinprint.chm" are the real ones), an empty placeholder otherwise.
// The version folder is shared by every driver: give files a test writes (the data file and
// its settings file) names of the test's own.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace pinprint::test {

struct DriverSetup {
    std::wstring driverName;  // unique per test; empty: the printer's name and " Driver"
    std::wstring dataFile = L"PINPRINT.PPD";
    std::wstring helpFile = L"PSCRIPT.HLP";  // "" installs the driver without a help file
    std::vector<std::wstring> dependentFiles = {L"pinprintui.dll", L"pinprintlg.dll",
                                                L"pinprint.chm", L"PINPRINT.INI", L"PINPRINT.DAT"};
    // Settings file content written beside the data file ("" writes none and removes a stale
    // one, so the printer has no settings file).
    std::string settingsFile;
    // When set, replaces the dependent-file list the spooler keeps for the driver (its registry
    // value) after the install, entries exactly as written: full paths, bare names. The
    // spooler then reports them unchanged. (An install keeps only file names.)
    std::vector<std::wstring> storedDependentFiles;
    // The PostScript driver's own files; Wine has none, so these are placeholders.
    std::wstring driverPath = L"PSCRIPT5.DLL";
    std::wstring configFile = L"PS5UI.DLL";
};

class TestPrinter {
  public:
    // Installs the driver and a printer named `printerName` (port "FILE:"), removing any
    // printer or driver of the same names left over first. ok() tells whether it worked.
    explicit TestPrinter(const std::wstring& printerName, const DriverSetup& driver = {});
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;

    bool ok() const { return handle_ != nullptr; }
    HANDLE handle() const { return handle_; }  // opened with PRINTER_ALL_ACCESS
    const std::wstring& name() const { return name_; }
    // The folder in which the installed driver's files lie (the spooler's version folder, the
    // directory of pDataFile and pHelpFile), with trailing backslash.
    std::wstring DriverDirectory() const;

    // The installed data file's path with its last three characters replaced by "DAT".
    std::wstring SettingsFilePath() const;
    // Replaces the settings file's content ("" removes the file).
    bool WriteSettingsFile(const std::string& content) const;

    // Printer data helpers.
    bool SetOptions(DWORD options);  // "VkDriverOptions" as REG_DWORD
    bool RemoveOptions();
    bool SetString(const wchar_t* value, const std::wstring& text, DWORD bytes = 512);
    // Reads a printer data value with its type; false when GetPrinterDataW fails.
    bool ReadValue(const wchar_t* value, DWORD& type, std::vector<BYTE>& data) const;

  private:
    std::wstring name_;
    std::wstring driverName_;
    std::wstring directory_;
    std::wstring dataFile_;  // installed path
    bool wroteSettings_ = false;
    // Files of the spooler's version folder that the install overwrote, with their content.
    std::vector<std::pair<std::wstring, std::string>> savedFiles_;
    HANDLE handle_ = nullptr;
};

// A name for this test's printer and driver that no other test uses: `prefix`, the test suite's
// name and the test's, in letters, digits and '_' (printer names may not hold ',' or '\\').
std::wstring UniqueTestName(const wchar_t* prefix);

// Removes a printer and a driver by name, if they exist (leftovers of an aborted run).
void RemovePrinterAndDriver(const std::wstring& printerName, const std::wstring& driverName);

}  // namespace pinprint::test
