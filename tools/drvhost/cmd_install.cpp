// drvhost install: puts the sample driver package into the spooler the way a printer installer
// does (driver files into the driver directory, AddPrinterDriverExW, AddPrinterW), then plays
// the PostScript driver's part at printer initialization: it loads the plug-in named in the
// package's OEM INI and forwards PRINTER_EVENT_INITIALIZE to it, and shows what the plug-in
// wrote into the printer's data.
#include <windows.h>
#include <winspool.h>
#include <winddiui.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "config/driver_options.h"
#include "host.h"

namespace drvhost {
namespace {

constexpr wchar_t kDriverName[] = L"PinPrint Secure PS";
constexpr wchar_t kDefaultPrinter[] = L"PinPrint Demo";
constexpr wchar_t kPort[] = L"FILE:";

// ---- A small reader for the package's INF: sections of key=value or bare lines. ----

struct InfLine {
    std::wstring key;                  // unquoted; empty for a bare line
    std::vector<std::wstring> fields;  // the value split at commas, each trimmed and unquoted
};

struct InfSection {
    std::wstring name;
    std::vector<InfLine> lines;
};

std::wstring Trim(const std::wstring& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && iswspace(s[begin])) {
        ++begin;
    }
    while (end > begin && iswspace(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

std::wstring Unquote(const std::wstring& s) {
    const std::wstring t = Trim(s);
    return t.size() >= 2 && t.front() == L'"' && t.back() == L'"' ? t.substr(1, t.size() - 2) : t;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool ReadText(const std::wstring& path, std::wstring& text) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    CloseHandle(file);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return true;
    }
    size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF') {
        start = 3;
    }
    const int size = static_cast<int>(bytes.size() - start);
    text.assign(MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, text.data(),
                        static_cast<int>(text.size()));
    return true;
}

std::vector<InfSection> ParseInf(const std::wstring& text) {
    std::vector<InfSection> sections;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        // A comment starts at a semicolon outside quotes.
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == L'"') {
                quoted = !quoted;
            } else if (line[i] == L';' && !quoted) {
                line.resize(i);
                break;
            }
        }
        line = Trim(line);
        if (line.empty()) {
            continue;
        }
        if (line.front() == L'[' && line.back() == L']') {
            sections.push_back({Trim(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        if (sections.empty()) {
            continue;
        }
        InfLine entry;
        std::wstring value = line;
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) {
            entry.key = Unquote(line.substr(0, equals));
            value = line.substr(equals + 1);
        }
        size_t from = 0;
        while (true) {
            const size_t comma = value.find(L',', from);
            entry.fields.push_back(Unquote(value.substr(from, comma - from)));
            if (comma == std::wstring::npos) {
                break;
            }
            from = comma + 1;
        }
        sections.back().lines.push_back(std::move(entry));
    }
    return sections;
}

const InfSection* FindSection(const std::vector<InfSection>& inf, const std::wstring& name) {
    for (const auto& s : inf) {
        if (SameName(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

std::wstring Value(const InfSection& section, const wchar_t* key) {
    for (const auto& line : section.lines) {
        if (SameName(line.key, key) && !line.fields.empty()) {
            return line.fields[0];
        }
    }
    return std::wstring();
}

// What the package's INF says about the driver.
struct DriverPackage {
    std::wstring inf;
    std::wstring driverFile, configFile, dataFile, helpFile;
    std::vector<std::wstring> dependentFiles;  // copied files other than the four above
};

bool ReadPackage(const std::wstring& dir, DriverPackage& package) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((dir + L"*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"drvhost: no INF in the package folder %ls\n", dir.c_str());
        return false;
    }
    package.inf = found.cFileName;
    FindClose(search);
    std::wstring text;
    if (!ReadText(dir + package.inf, text)) {
        fwprintf(stderr, L"drvhost: cannot read %ls%ls\n", dir.c_str(), package.inf.c_str());
        return false;
    }
    const std::vector<InfSection> inf = ParseInf(text);

    // The model line names the install section: "PinPrint Secure PS"=SECTION,hardware-id.
    const InfSection* install = nullptr;
    for (const auto& section : inf) {
        for (const auto& line : section.lines) {
            if (line.key == kDriverName && !line.fields.empty()) {
                install = FindSection(inf, line.fields[0]);
            }
        }
    }
    if (install == nullptr) {
        fwprintf(stderr, L"drvhost: %ls has no install section for \"%ls\"\n", package.inf.c_str(),
                 kDriverName);
        return false;
    }
    package.driverFile = Value(*install, L"DriverFile");
    package.configFile = Value(*install, L"ConfigFile");
    package.dataFile = Value(*install, L"DataFile");
    package.helpFile = Value(*install, L"HelpFile");
    if (package.driverFile.empty() || package.configFile.empty() || package.dataFile.empty()) {
        fwprintf(stderr, L"drvhost: section [%ls] lacks DriverFile, ConfigFile or DataFile\n",
                 install->name.c_str());
        return false;
    }
    auto isMainFile = [&](const std::wstring& f) {
        return SameName(f, package.driverFile) || SameName(f, package.configFile) ||
               SameName(f, package.dataFile) || SameName(f, package.helpFile);
    };
    auto addDependent = [&](const std::wstring& f) {
        if (!f.empty() && !isMainFile(f)) {
            package.dependentFiles.push_back(f);
        }
    };
    for (const auto& line : install->lines) {
        if (!SameName(line.key, L"CopyFiles")) {
            continue;
        }
        for (const auto& list : line.fields) {
            if (!list.empty() && list.front() == L'@') {
                addDependent(list.substr(1));
            } else if (const InfSection* files = FindSection(inf, list)) {
                for (const auto& fileLine : files->lines) {
                    addDependent(fileLine.fields.empty() ? std::wstring() : fileLine.fields[0]);
                }
            }
        }
    }
    return true;
}

// ---- The spooler side. ----

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

class Printer {
  public:
    explicit Printer(const std::wstring& name, ACCESS_MASK access = PRINTER_ALL_ACCESS) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
        if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &handle_, &defaults)) {
            handle_ = nullptr;
        }
    }
    ~Printer() {
        if (handle_ != nullptr) {
            ClosePrinter(handle_);
        }
    }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

std::vector<BYTE> DriverRecord(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    if (needed == 0 || !GetPrinterDriverW(printer, nullptr, 3, block.data(), needed, &needed)) {
        block.clear();
    }
    return block;
}

std::wstring FilePart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring DirectoryOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The plug-in the PostScript driver would load: OEMConfigFile1 of the OEM INI among the
// installed dependent files, in the folder where the spooler keeps them.
std::wstring InstalledPluginPath(HANDLE printer) {
    const std::vector<BYTE> block = DriverRecord(printer);
    if (block.empty()) {
        return std::wstring();
    }
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.data());
    std::vector<std::wstring> files;
    for (const wchar_t* p = info->pDependentFiles; p != nullptr && *p; p += wcslen(p) + 1) {
        files.emplace_back(p);
    }
    for (const auto& ini : files) {
        const std::wstring name = FilePart(ini);
        if (name.size() < 4 || !SameName(name.substr(name.size() - 4), L".INI")) {
            continue;
        }
        wchar_t plugin[MAX_PATH] = {};
        GetPrivateProfileStringW(L"OEMFiles", L"OEMConfigFile1", L"", plugin, MAX_PATH,
                                 ini.c_str());
        if (plugin[0] == L'\0') {
            continue;
        }
        for (const auto& file : files) {
            if (SameName(FilePart(file), plugin)) {
                return file;
            }
        }
        return DirectoryOf(ini) + plugin;
    }
    return std::wstring();
}

const wchar_t* TypeName(DWORD type) {
    switch (type) {
        case REG_DWORD:
            return L"REG_DWORD";
        case REG_SZ:
            return L"REG_SZ";
        case REG_EXPAND_SZ:
            return L"REG_EXPAND_SZ";
        case REG_BINARY:
            return L"REG_BINARY";
        case REG_MULTI_SZ:
            return L"REG_MULTI_SZ";
        default:
            return L"REG_?";
    }
}

std::wstring OptionNames(DWORD options) {
    static const struct {
        DWORD bit;
        const wchar_t* name;
    } kBits[] = {
        {pinprint::DRVOPT_SECURE_PAGE, L"DRVOPT_SECURE_PAGE"},
        {pinprint::DRVOPT_SHORT_NAMES, L"DRVOPT_SHORT_NAMES"},
        {pinprint::DRVOPT_NAME_CHOICE, L"DRVOPT_NAME_CHOICE"},
        {pinprint::DRVOPT_LABEL_SWAP, L"DRVOPT_LABEL_SWAP"},
        {pinprint::DRVOPT_SECURE_ALWAYS, L"DRVOPT_SECURE_ALWAYS"},
        {pinprint::DRVOPT_ALT_TEMPLATE, L"DRVOPT_ALT_TEMPLATE"},
        {pinprint::DRVOPT_ABOUT_PAGE, L"DRVOPT_ABOUT_PAGE"},
    };
    std::wstring text;
    DWORD known = 0;
    for (const auto& b : kBits) {
        known |= b.bit;
        if (options & b.bit) {
            text += (text.empty() ? L"" : L" | ") + std::wstring(b.name);
        }
    }
    if (options & ~known) {
        wchar_t other[32];
        swprintf(other, 32, L"0x%lX (no effect)", options & ~known);
        text += (text.empty() ? L"" : L" | ") + std::wstring(other);
    }
    return text.empty() ? L"no options" : text;
}

void PrintValue(HANDLE printer, const wchar_t* name) {
    DWORD type = 0;
    DWORD needed = 0;
    std::vector<BYTE> data(1024);
    const DWORD status = GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, data.data(),
                                         static_cast<DWORD>(data.size()), &needed);
    if (status != ERROR_SUCCESS) {
        wprintf(L"  %-16ls (not set: error %lu)\n", name, status);
        return;
    }
    data.resize(needed);
    if (type == REG_DWORD && needed == sizeof(DWORD)) {
        DWORD value = 0;
        memcpy(&value, data.data(), sizeof(value));
        wprintf(L"  %-16ls %-9ls %3lu bytes  0x%08lX  %ls\n", name, TypeName(type), needed, value,
                OptionNames(value).c_str());
        return;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        const auto* text = reinterpret_cast<const wchar_t*>(data.data());
        const size_t length = wcsnlen(text, needed / sizeof(wchar_t));
        wprintf(L"  %-16ls %-9ls %3lu bytes  \"%ls\" (%zu characters)\n", name, TypeName(type),
                needed, std::wstring(text, length).c_str(), length);
        return;
    }
    wprintf(L"  %-16ls %-9ls %3lu bytes\n", name, TypeName(type), needed);
}

bool StageFile(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        fwprintf(stderr, L"drvhost: cannot copy %ls to %ls (error %lu)\n", from.c_str(), to.c_str(),
                 GetLastError());
        return false;
    }
    return true;
}

}  // namespace

int CommandInstall(const Args& args) {
    const std::wstring printerName = OptionValue(args, L"--printer", kDefaultPrinter);
    std::wstring packageDir = OptionValue(args, L"--package", ExeDirectory() + L"..\\package\\");
    if (!packageDir.empty() && packageDir.back() != L'\\' && packageDir.back() != L'/') {
        packageDir += L'\\';
    }
    wchar_t fullDir[MAX_PATH] = {};
    if (GetFullPathNameW(packageDir.c_str(), MAX_PATH, fullDir, nullptr) > 0) {
        packageDir = fullDir;
    }

    DriverPackage package;
    if (!ReadPackage(packageDir, package)) {
        return 1;
    }
    wprintf(L"Driver package: %ls%ls\n", packageDir.c_str(), package.inf.c_str());

    // The spooler takes the driver's files from its driver directory and keeps them in the
    // version folder of the environment (3: user-mode drivers).
    const std::wstring source = DriverDirectory();
    if (source.empty()) {
        fwprintf(stderr, L"drvhost: the spooler reports no driver directory (error %lu)\n",
                 GetLastError());
        return 1;
    }
    const std::wstring installed = source + L"3\\";

    for (const auto* file : {&package.driverFile, &package.configFile, &package.helpFile}) {
        if (file->empty() || Exists(packageDir + *file)) {
            continue;
        }
        // The PostScript driver's own files come with the system, not with the package. Where
        // the system has none (Wine), an empty stand-in keeps the spooler's record complete;
        // an existing file is never replaced.
        if (!Exists(installed + *file)) {
            const HANDLE f = CreateFileW((source + *file).c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, 0, nullptr);
            if (f == INVALID_HANDLE_VALUE) {
                fwprintf(stderr, L"drvhost: cannot create %ls%ls\n", source.c_str(), file->c_str());
                return 1;
            }
            CloseHandle(f);
        }
    }
    std::vector<std::wstring> packaged = package.dependentFiles;
    packaged.push_back(package.dataFile);
    for (const auto& file : packaged) {
        if (!Exists(packageDir + file)) {
            fwprintf(stderr, L"drvhost: the package lacks %ls\n", file.c_str());
            return 1;
        }
        if (!StageFile(packageDir + file, source + file)) {
            return 1;
        }
    }

    // A second install replaces the first: the printer goes, the driver entry is rewritten.
    bool replaced = false;
    {
        Printer old(printerName);
        if (old.get() != nullptr) {
            replaced = DeletePrinter(old.get()) != FALSE;
            if (!replaced) {
                fwprintf(stderr,
                         L"drvhost: cannot remove the existing printer \"%ls\" (error %lu)\n",
                         printerName.c_str(), GetLastError());
                return 1;
            }
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
    info.pName = const_cast<LPWSTR>(kDriverName);
    info.pDriverPath = package.driverFile.data();
    info.pDataFile = package.dataFile.data();
    info.pConfigFile = package.configFile.data();
    info.pHelpFile = package.helpFile.empty() ? nullptr : package.helpFile.data();
    info.pDependentFiles = dependent.data();
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES)) {
        fwprintf(stderr, L"drvhost: AddPrinterDriverExW failed (error %lu)\n", GetLastError());
        return 1;
    }
    wprintf(L"Driver \"%ls\" installed in %ls\n", kDriverName, installed.c_str());
    wprintf(
        L"  driver file      %ls\n  config file      %ls\n  data file        %ls\n"
        L"  help file        %ls\n  dependent files ",
        package.driverFile.c_str(), package.configFile.c_str(), package.dataFile.c_str(),
        package.helpFile.empty() ? L"(none)" : package.helpFile.c_str());
    for (const auto& file : package.dependentFiles) {
        wprintf(L" %ls", file.c_str());
    }
    wprintf(L"\n");
    std::vector<std::wstring> standIns;
    for (const auto* file : {&package.driverFile, &package.configFile, &package.helpFile}) {
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        if (!file->empty() &&
            GetFileAttributesExW((installed + *file).c_str(), GetFileExInfoStandard, &attributes) &&
            attributes.nFileSizeLow == 0 && attributes.nFileSizeHigh == 0) {
            standIns.push_back(*file);
        }
    }
    if (!standIns.empty()) {
        wprintf(L"  This system has no PostScript driver: the installed");
        for (const auto& file : standIns) {
            wprintf(L" %ls", file.c_str());
        }
        wprintf(
            L" are empty stand-ins\n  that only complete the driver's record; drvhost plays "
            L"the driver's part.\n");
    }

    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(printerName.c_str());
    printer.pPortName = const_cast<LPWSTR>(kPort);
    printer.pDriverName = const_cast<LPWSTR>(kDriverName);
    printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (added == nullptr) {
        fwprintf(stderr, L"drvhost: AddPrinterW failed for \"%ls\" (error %lu)\n",
                 printerName.c_str(), GetLastError());
        return 1;
    }
    ClosePrinter(added);
    wprintf(L"Printer \"%ls\" added on port %ls%ls\n", printerName.c_str(), kPort,
            replaced ? L", replacing the earlier one" : L"");

    // The spooler sends no initialization event here; the driver would forward it to the
    // plug-in from DrvPrinterEvent, so the host does the same.
    std::wstring pluginPath;
    {
        Printer opened(printerName);
        pluginPath = InstalledPluginPath(opened.get());
    }
    if (pluginPath.empty()) {
        fwprintf(stderr, L"drvhost: the package's OEM INI names no plug-in\n");
        return 1;
    }
    HRESULT result = E_FAIL;
    {
        PluginHost host;
        if (!host.Load(pluginPath)) {
            return 1;
        }
        wprintf(L"Plug-in %ls loaded (signature 0x%08lX, version 0x%lX)\n", pluginPath.c_str(),
                host.signature(), host.version());
        result = host.plugin()->PrinterEvent(const_cast<PWSTR>(printerName.c_str()),
                                             PRINTER_EVENT_INITIALIZE, 0, 0);
    }
    wprintf(L"PrinterEvent(PRINTER_EVENT_INITIALIZE) returned 0x%08lX%ls\n",
            static_cast<unsigned long>(result), result == S_OK ? L" (S_OK)" : L"");

    Printer opened(printerName, PRINTER_ACCESS_USE);
    if (opened.get() == nullptr) {
        fwprintf(stderr, L"drvhost: cannot open \"%ls\" (error %lu)\n", printerName.c_str(),
                 GetLastError());
        return 1;
    }
    wprintf(L"Printer data of \"%ls\":\n", printerName.c_str());
    PrintValue(opened.get(), pinprint::kDriverOptionsValue);
    PrintValue(opened.get(), L"CopyrightYear1");
    PrintValue(opened.get(), L"CopyrightYear2");
    return result == S_OK ? 0 : 1;
}

}  // namespace drvhost
