#include "support/test_printer.h"

#include <winspool.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "support/test_support.h"

namespace pinprint::test {
namespace {

std::wstring FilePart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring SpoolerDriverDirectory() {
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof(dir),
                                    &needed)) {
        return std::wstring();
    }
    return std::wstring(dir) + L"\\";
}

bool WriteFileBytes(const std::wstring& path, const void* bytes, size_t size) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        size == 0 || WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
    if (ok) {
        bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
              read == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

// Puts `name` into the driver directory, where the spooler copies driver files from.
void StageDriverFile(const std::wstring& sourceDir, const std::wstring& name) {
    if (name.empty()) {
        return;
    }
    const std::wstring built = BinPath(name.c_str());
    const std::wstring target = sourceDir + name;
    if (GetFileAttributesW(built.c_str()) != INVALID_FILE_ATTRIBUTES &&
        CopyFileW(built.c_str(), target.c_str(), FALSE)) {
        return;
    }
    WriteFileBytes(target, nullptr, 0);
}

std::wstring MultiString(const std::vector<std::wstring>& entries) {
    std::wstring result;
    for (const auto& e : entries) {
        result += e;
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

HANDLE OpenAllAccess(const std::wstring& name) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &handle, &defaults)) {
        return nullptr;
    }
    return handle;
}

std::wstring InstalledDataFile(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    if (needed == 0) {
        return std::wstring();
    }
    std::vector<BYTE> block(needed);
    if (!GetPrinterDriverW(printer, nullptr, 3, block.data(), needed, &needed)) {
        return std::wstring();
    }
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.data());
    return info->pDataFile ? std::wstring(info->pDataFile) : std::wstring();
}

}  // namespace

void RemovePrinterAndDriver(const std::wstring& printerName, const std::wstring& driverName) {
    if (HANDLE printer = OpenAllAccess(printerName)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(driverName.c_str()), 0, 0);
}

TestPrinter::TestPrinter(const std::wstring& printerName, const DriverSetup& driver)
    : name_(printerName),
      driverName_(driver.driverName.empty() ? printerName + L" Driver" : driver.driverName) {
    RemovePrinterAndDriver(name_, driverName_);

    const std::wstring source = SpoolerDriverDirectory();
    if (source.empty()) {
        return;
    }
    // The version folder is shared with drivers installed outside the tests (drvhost install's
    // sample package): keep what the install is about to overwrite, to put it back at the end.
    std::vector<std::wstring> names = {driver.driverPath, driver.configFile, driver.dataFile,
                                       driver.helpFile};
    names.insert(names.end(), driver.dependentFiles.begin(), driver.dependentFiles.end());
    const std::wstring dataName = FilePart(driver.dataFile);
    if (dataName.size() >= 3) {
        names.push_back(dataName.substr(0, dataName.size() - 3) + L"DAT");
    }
    for (const auto& name : names) {
        const std::wstring path = source + L"3\\" + FilePart(name);
        std::string bytes;
        if (!FilePart(name).empty() && ReadFileBytes(path, bytes)) {
            savedFiles_.emplace_back(path, std::move(bytes));
        }
    }

    StageDriverFile(source, FilePart(driver.driverPath));
    StageDriverFile(source, FilePart(driver.configFile));
    StageDriverFile(source, FilePart(driver.dataFile));
    StageDriverFile(source, FilePart(driver.helpFile));
    for (const auto& file : driver.dependentFiles) {
        StageDriverFile(source, FilePart(file));
    }

    std::wstring dependent = MultiString(driver.dependentFiles);
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = const_cast<LPWSTR>(driverName_.c_str());
    info.pDriverPath = const_cast<LPWSTR>(driver.driverPath.c_str());
    info.pDataFile = const_cast<LPWSTR>(driver.dataFile.c_str());
    info.pConfigFile = const_cast<LPWSTR>(driver.configFile.c_str());
    info.pHelpFile =
        driver.helpFile.empty() ? nullptr : const_cast<LPWSTR>(driver.helpFile.c_str());
    info.pDependentFiles = driver.dependentFiles.empty() ? nullptr : dependent.data();
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) {
        return;
    }

    if (!driver.storedDependentFiles.empty()) {
        const std::wstring stored = MultiString(driver.storedDependentFiles);
        const std::wstring key =
            L"System\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\"
            L"Version-3\\" +
            driverName_;
        if (RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Dependent Files", REG_MULTI_SZ,
                            stored.data(),
                            static_cast<DWORD>(stored.size() * sizeof(wchar_t))) != ERROR_SUCCESS) {
            DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(driverName_.c_str()), 0, 0);
            return;
        }
    }

    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(name_.c_str());
    printer.pPortName = const_cast<LPWSTR>(L"FILE:");
    printer.pDriverName = const_cast<LPWSTR>(driverName_.c_str());
    printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (added == nullptr) {
        DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(driverName_.c_str()), 0, 0);
        return;
    }
    ClosePrinter(added);

    HANDLE handle = OpenAllAccess(name_);
    if (handle == nullptr) {
        RemovePrinterAndDriver(name_, driverName_);
        return;
    }
    dataFile_ = InstalledDataFile(handle);
    const size_t slash = dataFile_.find_last_of(L'\\');
    directory_ = slash == std::wstring::npos ? std::wstring() : dataFile_.substr(0, slash + 1);
    wroteSettings_ = true;
    if (dataFile_.size() < 3 || !WriteSettingsFile(driver.settingsFile)) {
        ClosePrinter(handle);
        RemovePrinterAndDriver(name_, driverName_);
        return;
    }
    handle_ = handle;
}

TestPrinter::~TestPrinter() {
    if (handle_ != nullptr) {
        ClosePrinter(handle_);
        handle_ = nullptr;
        RemovePrinterAndDriver(name_, driverName_);
    }
    if (wroteSettings_) {
        DeleteFileW(SettingsFilePath().c_str());
    }
    // Latest first, so that a file saved twice ends with its content from before the test.
    for (auto it = savedFiles_.rbegin(); it != savedFiles_.rend(); ++it) {
        WriteFileBytes(it->first, it->second.data(), it->second.size());
    }
}

std::wstring TestPrinter::DriverDirectory() const {
    return directory_;
}

std::wstring TestPrinter::SettingsFilePath() const {
    if (dataFile_.size() < 3) {
        return std::wstring();
    }
    return dataFile_.substr(0, dataFile_.size() - 3) + L"DAT";
}

bool TestPrinter::WriteSettingsFile(const std::string& content) const {
    const std::wstring path = SettingsFilePath();
    if (path.empty()) {
        return false;
    }
    if (content.empty()) {
        return DeleteFileW(path.c_str()) ||
               GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    return WriteFileBytes(path, content.data(), content.size());
}

bool TestPrinter::SetOptions(DWORD options) {
    return SetPrinterDataW(handle_, const_cast<LPWSTR>(L"VkDriverOptions"), REG_DWORD,
                           reinterpret_cast<LPBYTE>(&options), sizeof(options)) == ERROR_SUCCESS;
}

bool TestPrinter::RemoveOptions() {
    // Wine 8 has no DeletePrinterDataW; its printer data lies in the printer's registry key.
    const std::wstring key =
        L"System\\CurrentControlSet\\Control\\Print\\Printers\\" + name_ + L"\\PrinterDriverData";
    const LSTATUS status = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"VkDriverOptions");
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool TestPrinter::SetString(const wchar_t* value, const std::wstring& text, DWORD bytes) {
    // The text, its terminator and zeros up to `bytes`; `bytes` may also cut it short.
    std::vector<BYTE> buffer(bytes + (text.size() + 1) * sizeof(wchar_t), 0);
    std::memcpy(buffer.data(), text.c_str(), text.size() * sizeof(wchar_t));
    return SetPrinterDataW(handle_, const_cast<LPWSTR>(value), REG_SZ, buffer.data(), bytes) ==
           ERROR_SUCCESS;
}

bool TestPrinter::ReadValue(const wchar_t* value, DWORD& type, std::vector<BYTE>& data) const {
    DWORD needed = 0;
    type = 0;
    DWORD status = GetPrinterDataW(handle_, const_cast<LPWSTR>(value), &type, nullptr, 0, &needed);
    if (status != ERROR_MORE_DATA && status != ERROR_SUCCESS) {
        return false;
    }
    data.assign(needed, 0);
    status =
        GetPrinterDataW(handle_, const_cast<LPWSTR>(value), &type, data.data(), needed, &needed);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    data.resize(needed);
    return true;
}

std::wstring UniqueTestName(const wchar_t* prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = prefix;
    if (info != nullptr) {
        for (char c : std::string(info->test_suite_name()) + "_" + info->name()) {
            name.push_back(isalnum(static_cast<unsigned char>(c)) ? static_cast<wchar_t>(c) : L'_');
        }
    }
    return name;
}

}  // namespace pinprint::test
