// drvhost install: puts the sample driver package into the spooler the way a printer installer
// does: the files the package's INF copies go into the driver directory, AddPrinterDriverExW
// takes the driver record the INF describes, and AddPrinterW adds the printer. Printer
// initialization follows (printer_init.cpp).
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver_package.h"
#include "host.h"

namespace drvhost {
namespace {

constexpr wchar_t kDefaultPrinter[] = L"PinPrint Demo";
constexpr wchar_t kPort[] = L"FILE:";

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring DriverDirectory() {
    wchar_t dir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof(dir),
                                    &needed)) {
        return std::wstring();
    }
    return std::wstring(dir) + L"\\";
}

bool StageFile(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        fwprintf(stderr, L"drvhost: cannot copy %ls to %ls (error %lu)\n", from.c_str(), to.c_str(),
                 GetLastError());
        return false;
    }
    return true;
}

// The PostScript driver's own files come with the system, not with the package. Where the
// system has none (Wine), an empty stand-in keeps the spooler's record complete; an existing
// file is never replaced.
bool StageSystemFiles(const DriverPackage& package, const std::wstring& source,
                      const std::wstring& installed) {
    for (const auto* file : {&package.driverFile, &package.configFile, &package.helpFile}) {
        if (file->empty() || Exists(package.folder + *file) || Exists(installed + *file)) {
            continue;
        }
        const HANDLE f = CreateFileW((source + *file).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            fwprintf(stderr, L"drvhost: cannot create %ls%ls\n", source.c_str(), file->c_str());
            return false;
        }
        CloseHandle(f);
    }
    return true;
}

void PrintStandIns(const DriverPackage& package, const std::wstring& installed) {
    std::vector<std::wstring> standIns;
    for (const auto* file : {&package.driverFile, &package.configFile, &package.helpFile}) {
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        if (!file->empty() &&
            GetFileAttributesExW((installed + *file).c_str(), GetFileExInfoStandard, &attributes) &&
            attributes.nFileSizeLow == 0 && attributes.nFileSizeHigh == 0) {
            standIns.push_back(*file);
        }
    }
    if (standIns.empty()) {
        return;
    }
    wprintf(L"  This system has no PostScript driver: the installed");
    for (const auto& file : standIns) {
        wprintf(L" %ls", file.c_str());
    }
    wprintf(
        L" are empty stand-ins\n  that only complete the driver's record; drvhost plays "
        L"the driver's part.\n");
}

}  // namespace

int CommandInstall(const Args& args) {
    const std::wstring printerName = OptionValue(args, L"--printer", kDefaultPrinter);
    // The package carries every language; the user's UI language picks the pages and help.
    std::wstring packageDir = OptionValue(args, L"--package", ExeDirectory() + L"..\\package\\");
    wchar_t fullDir[MAX_PATH] = {};
    if (GetFullPathNameW(packageDir.c_str(), MAX_PATH, fullDir, nullptr) > 0) {
        packageDir = fullDir;
    }
    DriverPackage package;
    std::vector<std::wstring> problems;
    const bool read = ReadDriverPackage(packageDir, package, problems);
    for (const auto& problem : problems) {
        fwprintf(stderr, L"drvhost: %ls: %ls\n", package.infName.c_str(), problem.c_str());
    }
    if (!read || !problems.empty()) {
        return 1;
    }
    wprintf(L"Driver package: %ls%ls\n", package.folder.c_str(), package.infName.c_str());

    // The spooler takes the driver's files from its driver directory and keeps them in the
    // version folder of the environment (3: user-mode drivers).
    const std::wstring source = DriverDirectory();
    if (source.empty()) {
        fwprintf(stderr, L"drvhost: the spooler reports no driver directory (error %lu)\n",
                 GetLastError());
        return 1;
    }
    const std::wstring installed = source + L"3\\";
    if (!StageSystemFiles(package, source, installed)) {
        return 1;
    }
    std::vector<std::wstring> packaged = package.dependentFiles;
    packaged.push_back(package.dataFile);
    for (const auto& file : packaged) {
        if (!Exists(package.folder + file)) {
            fwprintf(stderr, L"drvhost: the package lacks %ls\n", file.c_str());
            return 1;
        }
        if (!StageFile(package.folder + file, source + file)) {
            return 1;
        }
    }

    // A second install replaces the first: the printer goes, the driver entry is rewritten.
    bool replaced = false;
    if (const pinprint::UniquePrinter old = OpenPrinterWith(printerName, PRINTER_ALL_ACCESS)) {
        replaced = DeletePrinter(old.get()) != FALSE;
        if (!replaced) {
            fwprintf(stderr, L"drvhost: cannot remove the existing printer \"%ls\" (error %lu)\n",
                     printerName.c_str(), GetLastError());
            return 1;
        }
    }

    std::wstring dependent;
    for (const auto& file : package.dependentFiles) {
        dependent += file;
        dependent.push_back(L'\0');
    }
    dependent.push_back(L'\0');
    DRIVER_INFO_3W info = {};
    info.cVersion = 3;
    info.pName = package.model.data();
    info.pDriverPath = package.driverFile.data();
    info.pDataFile = package.dataFile.data();
    info.pConfigFile = package.configFile.data();
    info.pHelpFile = package.helpFile.empty() ? nullptr : package.helpFile.data();
    info.pDependentFiles = dependent.data();
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES)) {
        fwprintf(stderr, L"drvhost: AddPrinterDriverExW failed (error %lu)\n", GetLastError());
        return 1;
    }
    wprintf(L"Driver \"%ls\" installed in %ls\n", package.model.c_str(), installed.c_str());
    wprintf(
        L"  driver file      %ls\n  config file      %ls\n  data file        %ls\n"
        L"  help file        %ls\n  dependent files ",
        package.driverFile.c_str(), package.configFile.c_str(), package.dataFile.c_str(),
        package.helpFile.empty() ? L"(none)" : package.helpFile.c_str());
    for (const auto& file : package.dependentFiles) {
        wprintf(L" %ls", file.c_str());
    }
    wprintf(L"\n");
    PrintStandIns(package, installed);

    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(printerName.c_str());
    printer.pPortName = const_cast<LPWSTR>(kPort);
    printer.pDriverName = package.model.data();
    printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    if (!pinprint::UniquePrinter(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer)))) {
        fwprintf(stderr, L"drvhost: AddPrinterW failed for \"%ls\" (error %lu)\n",
                 printerName.c_str(), GetLastError());
        return 1;
    }
    wprintf(L"Printer \"%ls\" added on port %ls%ls\n", printerName.c_str(), kPort,
            replaced ? L", replacing the earlier one" : L"");
    return InitializePrinter(printerName);
}

}  // namespace drvhost
