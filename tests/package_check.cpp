// package_check: checks the assembled driver package (build/<preset>/package, or the folder given)
// the way a vendor would before signing it: the INF, its copy lists against the files, the name
// rules by which the plug-in finds its resource module and help file, the OEM INI, and that
// drvhost install puts exactly what the INF lists into the spooler. Prints one line a check.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "config/driver_files.h"
#include "config/package_names.h"
#include "driver_package.h"
#include "oem_plugin.h"
#include "platform/unique_handle.h"
#include "support/child_process.h"
#include "support/test_handles.h"
#include "support/test_support.h"

namespace {

using drvhost::DriverPackage;
using drvhost::SameName;
namespace names = pinprint::names;

constexpr wchar_t kPostScriptCore[] = L"{D20EA372-DD35-4950-9ED8-A6335AFE79F1}";
constexpr wchar_t kCheckPrinter[] = L"PinPrint Package Check";
constexpr wchar_t kAddedFile[] = L"PKGCHECK.TXT";
constexpr size_t kMaxDependentFiles = 64;  // per printer model

int passed = 0;
int failed = 0;

void Report(bool ok, const std::wstring& what) {
    wprintf(L"  %-5ls %ls\n", ok ? L"ok" : L"FAIL", what.c_str());
    ++(ok ? passed : failed);
}

std::wstring Joined(const std::vector<std::wstring>& items, const wchar_t* separator = L" ") {
    std::wstring text;
    for (const auto& item : items) {
        text += (text.empty() ? L"" : separator) + item;
    }
    return text;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Contains(const std::vector<std::wstring>& items, const std::wstring& item) {
    for (const auto& i : items) {
        if (SameName(i, item)) {
            return true;
        }
    }
    return false;
}

// DriverVer as "mm/dd/yyyy,w.x.y.z": a date of two-digit month and day and four-digit year, and
// four version numbers of 0 to 65535.
bool IsDriverVer(const std::vector<std::wstring>& values) {
    if (values.size() != 2 || values[0].size() != 10) {
        return false;
    }
    const std::wstring& date = values[0];
    for (size_t i = 0; i < date.size(); ++i) {
        if ((i == 2 || i == 5) ? date[i] != L'/' : !iswdigit(date[i])) {
            return false;
        }
    }
    const int month = std::stoi(date.substr(0, 2));
    const int day = std::stoi(date.substr(3, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return false;
    }
    int parts = 0;
    for (size_t from = 0; from <= values[1].size(); ++parts) {
        size_t dot = values[1].find(L'.', from);
        dot = dot == std::wstring::npos ? values[1].size() : dot;
        const std::wstring part = values[1].substr(from, dot - from);
        if (part.empty() || part.size() > 5 || part.find_first_not_of(L"0123456789") != part.npos ||
            std::stoi(part) > 65535) {
            return false;
        }
        from = dot + 1;
    }
    return parts == 4;
}

// SourceDisksFiles entry of `file` ("file=disk[,...]"), decorated for amd64 or not; its disk must
// be listed in SourceDisksNames.
bool HasSourceEntry(const DriverPackage& package, const std::wstring& file) {
    for (const wchar_t* decoration : {L".amd64", L""}) {
        const std::wstring disk =
            package.inf.Value(std::wstring(L"SourceDisksFiles") + decoration, file.c_str());
        if (!disk.empty()) {
            return package.inf.Find(std::wstring(L"SourceDisksNames") + decoration) != nullptr &&
                   !package.inf.Value(std::wstring(L"SourceDisksNames") + decoration, disk.c_str())
                        .empty();
        }
    }
    return false;
}

bool HoldsDialog(const std::wstring& path, WORD id) {
    const pinprint::UniqueModule module(LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    return module && FindResourceW(module.get(), MAKEINTRESOURCEW(id), RT_DIALOG) != nullptr;
}

bool IsHtmlHelpFile(const std::wstring& path) {
    char magic[4] = {};
    std::ifstream in(path.c_str(), std::ios::binary);
    return in.read(magic, sizeof(magic)) && std::string_view(magic, 4) == "ITSF";
}

// The language of dialog 115 in a resource module; 0 when it has none.
LANGID DialogLanguage(const std::wstring& path) {
    const pinprint::UniqueModule module(LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    LANGID found = 0;
    if (module) {
        EnumResourceLanguagesW(
            module.get(), RT_DIALOG, MAKEINTRESOURCEW(115),
            [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) -> BOOL {
                *reinterpret_cast<LANGID*>(found) = language;
                return FALSE;
            },
            reinterpret_cast<LONG_PTR>(&found));
    }
    return found;
}

// The language an HTML Help file was compiled for: its header's locale, at byte 20.
LANGID HelpLanguage(const std::wstring& path) {
    unsigned char header[24] = {};
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof(header))) {
        return 0;
    }
    return static_cast<LANGID>(header[20] | (header[21] << 8));
}

std::wstring Hex(LANGID language) {
    wchar_t text[8] = {};
    swprintf(text, 8, L"%04X", language);
    return text;
}

bool ExportsComServer(const std::wstring& path) {
    const pinprint::UniqueModule module(
        LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    return module && GetProcAddress(module.get(), "DllGetClassObject") != nullptr &&
           GetProcAddress(module.get(), "DllCanUnloadNow") != nullptr;
}

// The first dependent file that `test` picks, by the plug-in's own rule over the list as the
// spooler hands it over (one multi-string); "" when none.
template <typename Test>
std::wstring FirstPicked(const DriverPackage& package, Test test) {
    std::wstring multi;
    for (const auto& file : package.dependentFiles) {
        multi += file;
        multi += L'\0';
    }
    multi += L'\0';
    wchar_t name[names::kPathBufferChars] = {};
    names::CopyFirstMatchingFileName(multi.c_str(), multi.size(), test, name,
                                     names::kPathBufferChars);
    return name;
}

void CheckInf(const DriverPackage& package) {
    const drvhost::InfFile& inf = package.inf;
    Report(SameName(inf.Value(L"Version", L"Class"), L"Printer") &&
               !inf.Value(L"Version", L"CatalogFile").empty() &&
               inf.Value(L"Version", L"DriverIsolation") == L"2",
           L"[Version]: Class=" + inf.Value(L"Version", L"Class") + L", CatalogFile=" +
               inf.Value(L"Version", L"CatalogFile") + L", DriverIsolation=" +
               inf.Value(L"Version", L"DriverIsolation"));
    const std::vector<std::wstring> driverVer = inf.Values(L"Version", L"DriverVer");
    Report(IsDriverVer(driverVer),
           L"DriverVer=" + Joined(driverVer, L",") + L" has the form mm/dd/yyyy,w.x.y.z");
    const std::wstring packageSection = L"PrinterPackageInstallation.amd64";
    const std::vector<std::wstring> core = inf.Values(packageSection, L"CoreDriverDependencies");
    const std::vector<std::wstring> coreSections =
        inf.Values(package.installSection, L"CoreDriverSections");
    Report(SameName(inf.Value(packageSection, L"PackageAware"), L"TRUE") &&
               Contains(core, kPostScriptCore) && !coreSections.empty() &&
               SameName(coreSections[0].substr(0, coreSections[0].find(L',')), kPostScriptCore),
           L"package-aware: PackageAware=" + inf.Value(packageSection, L"PackageAware") +
               L", depends on the PostScript core driver " + kPostScriptCore);
    // The installer shows [Strings.<LangID>] in its own language: each must say everything
    // that [Strings] says.
    const drvhost::InfSection* neutral = inf.Find(L"Strings");
    std::vector<std::wstring> localized;
    std::vector<std::wstring> gaps;
    for (const drvhost::InfSection& section : inf.sections()) {
        if (section.name.size() <= 8 || !SameName(section.name.substr(0, 8), L"Strings.")) {
            continue;
        }
        localized.push_back(section.name.substr(8));
        for (const drvhost::InfLine& line : neutral ? neutral->lines : section.lines) {
            if (inf.Value(section.name, line.key.c_str()).empty()) {
                gaps.push_back(section.name + L" lacks " + line.key);
            }
        }
    }
    Report(neutral != nullptr && !localized.empty() && gaps.empty(),
           L"localized strings: [Strings." + Joined(localized, L"], [Strings.") +
               L"] each give every key of " + L"[Strings]" +
               (gaps.empty() ? L"" : L": " + Joined(gaps)));
}

void CheckFiles(const DriverPackage& package, LANGID language) {
    std::vector<std::wstring> problems;
    size_t files = 0;
    for (const auto& list : package.copyLists) {
        if (list.destination != drvhost::kPrinterDriverDirId) {
            problems.push_back(list.name + L" goes to " + list.destination);
        }
        for (const auto& file : list.files) {
            ++files;
            if (!HasSourceEntry(package, file)) {
                problems.push_back(file + L" has no SourceDisksFiles entry");
            }
            if (!Exists(package.folder + file)) {
                problems.push_back(file + L" is not in the package");
            }
        }
    }
    Report(problems.empty() && files > 0,
           std::to_wstring(files) + L" files in " + std::to_wstring(package.copyLists.size()) +
               L" copy list(s), to 66000, each with its source entry and in the package" +
               (problems.empty() ? L"" : L": " + Joined(problems)));
    Report(!package.dependentFiles.empty() && package.dependentFiles.size() <= kMaxDependentFiles,
           std::to_wstring(package.dependentFiles.size()) + L" dependent files (at most " +
               std::to_wstring(kMaxDependentFiles) + L"): " + Joined(package.dependentFiles));

    const std::wstring resources = FirstPicked(package, names::IsResourceModuleName<wchar_t>);
    Report(!resources.empty() && HoldsDialog(package.folder + resources, 115),
           L"resource module: the first \"LG\" + \".DLL\" dependent file is " +
               (resources.empty() ? L"none" : resources) + L", which holds dialog 115");
    const std::wstring help = FirstPicked(package, names::IsHelpFileName<wchar_t>);
    Report(!help.empty() && IsHtmlHelpFile(package.folder + help),
           L"help file: the first \".CHM\" dependent file is " + (help.empty() ? L"none" : help) +
               L", an HTML Help file");
    if (language != 0 && !resources.empty() && !help.empty()) {
        const LANGID pages = DialogLanguage(package.folder + resources);
        const LANGID topics = HelpLanguage(package.folder + help);
        Report(pages == language && topics == language, L"language " + Hex(language) +
                                                            L": the pages are in " + Hex(pages) +
                                                            L", the help in " + Hex(topics));
    }
    const std::wstring plugin = drvhost::OemPluginPath(package.dependentFiles, package.folder);
    const std::wstring pluginName(names::FileNamePart(std::wstring_view(plugin)));
    Report(
        !plugin.empty() && Contains(package.dependentFiles, pluginName) && ExportsComServer(plugin),
        L"OEM INI: OEMConfigFile1=" + (plugin.empty() ? L"(none)" : pluginName) +
            L", a dependent file exporting DllGetClassObject and DllCanUnloadNow");
    const std::wstring renderer =
        drvhost::OemPluginPath(package.dependentFiles, package.folder, L"OEMDriverFile1");
    const std::wstring rendererName(names::FileNamePart(std::wstring_view(renderer)));
    Report(!renderer.empty() && !SameName(rendererName, pluginName) &&
               Contains(package.dependentFiles, rendererName) && ExportsComServer(renderer),
           L"OEM INI: OEMDriverFile1=" + (renderer.empty() ? L"(none)" : rendererName) +
               L", the rendering plug-in, another dependent file exporting both");
}

// The rendering plug-in writes the whole PJL envelope, which a PJL JOB from the PPD's job-control
// text would reset: the PPD carries none, and its header comment says why.
void CheckPpd(const DriverPackage& package) {
    std::ifstream in((package.folder + package.dataFile).c_str());
    const std::string ppd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t header = ppd.find('\n') + 1;  // the comment lines right after *PPD-Adobe
    while (header != 0 && ppd.compare(header, 2, "*%") == 0) {
        header = ppd.find('\n', header) + 1;
    }
    Report(ppd.find("\n*JCL") == std::string::npos &&
               ppd.substr(0, header).find("rendering plug-in") != std::string::npos,
           L"PPD " + package.dataFile +
               L": no job-control entries, and its header comment names the rendering plug-in");
}

// Installs `package` with drvhost as the printer kCheckPrinter and compares the driver record
// the spooler keeps with what the INF lists.
bool InstalledAsListed(const DriverPackage& package, std::wstring& detail) {
    const std::wstring exe = pinprint::test::BinPath(L"drvhost.exe");
    const pinprint::test::ChildResult run = pinprint::test::RunChild(
        exe, std::wstring(L"install --printer \"") + kCheckPrinter + L"\" --package \"" +
                 package.folder.substr(0, package.folder.size() - 1) + L"\"");
    if (run.exitCode != 0) {
        detail = L"drvhost install failed:\n" + std::wstring(run.output.begin(), run.output.end());
        return false;
    }
    pinprint::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(kCheckPrinter), printer.put(), nullptr)) {
        detail = L"the installed printer cannot be opened";
        return false;
    }
    const pinprint::UniqueGlobal record = pinprint::GetDriverInfo(printer.get(), 3);
    if (!record) {
        detail = L"the spooler has no driver record";
        return false;
    }
    const auto* info = static_cast<const DRIVER_INFO_3W*>(record.get());
    auto same = [](const wchar_t* installed, const std::wstring& listed) {
        const std::wstring_view path = installed ? installed : L"";
        return SameName(std::wstring(names::FileNamePart(path)), listed);
    };
    std::vector<std::wstring> dependent;
    pinprint::GetDependentFiles(printer.get(), dependent);
    bool filesMatch = dependent.size() == package.dependentFiles.size();
    for (size_t i = 0; filesMatch && i < dependent.size(); ++i) {
        filesMatch = same(dependent[i].c_str(), package.dependentFiles[i]);
    }
    const bool ok = info->pName != nullptr && package.model == info->pName &&
                    same(info->pDriverPath, package.driverFile) &&
                    same(info->pConfigFile, package.configFile) &&
                    same(info->pDataFile, package.dataFile) &&
                    same(info->pHelpFile, package.helpFile) && filesMatch;
    detail = L"driver \"" + package.model + L"\", its 4 files and " +
             std::to_wstring(dependent.size()) + L" dependent files in INF order";
    return ok;
}

// A copy of the package whose INF lists one more dependent file, first in its first file list.
bool ChangedCopy(const DriverPackage& package, const std::wstring& folder) {
    if (package.copyLists.empty() || package.copyLists[0].name.front() == L'@' ||
        !CreateDirectoryW(folder.c_str(), nullptr)) {
        return false;
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((package.folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            CopyFileW((package.folder + found.cFileName).c_str(),
                      (folder + found.cFileName).c_str(), FALSE);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);

    // The INF as UTF-16 (the package's copy is; a UTF-8 one is converted), changed and written
    // back as UTF-16 with its byte-order mark, which is how the reader takes either.
    std::ifstream in((package.folder + package.infName).c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        text.resize(bytes.size());
        text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        text.data(), static_cast<int>(text.size())));
    }
    auto insertAfterHeader = [&text](const std::wstring& section, const std::wstring& line) {
        const size_t at = text.find(L"[" + section + L"]");
        const size_t end = at == std::wstring::npos ? at : text.find(L'\n', at);
        if (end == std::wstring::npos) {
            return false;
        }
        text.insert(end + 1, line + L"\r\n");
        return true;
    };
    const std::wstring sources = package.inf.Find(L"SourceDisksFiles.amd64")
                                     ? L"SourceDisksFiles.amd64"
                                     : L"SourceDisksFiles";
    const std::wstring disk = package.inf.Value(sources, package.copyLists[0].files[0].c_str());
    if (!insertAfterHeader(package.copyLists[0].name, kAddedFile) ||
        !insertAfterHeader(sources, std::wstring(kAddedFile) + L"=" + disk)) {
        return false;
    }
    std::ofstream out((folder + package.infName).c_str(), std::ios::binary);
    out << "\xFF\xFE";
    out.write(reinterpret_cast<const char*>(text.data()),
              static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
    std::ofstream((folder + kAddedFile).c_str()) << "added by the package check\n";
    return true;
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((folder + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void CheckInstall(const DriverPackage& package) {
    // First a changed copy, so that the sample package is what stays installed.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"pinprint-pkgcheck-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    std::vector<std::wstring> errors;
    DriverPackage changed;
    std::wstring detail = L"the changed copy cannot be made";
    const bool ok = ChangedCopy(package, folder) &&
                    drvhost::ReadDriverPackage(folder, changed, errors) && errors.empty() &&
                    !changed.dependentFiles.empty() && changed.dependentFiles[0] == kAddedFile &&
                    InstalledAsListed(changed, detail);
    RemoveFolder(folder);
    Report(ok, L"drvhost install of a copy whose INF adds " + std::wstring(kAddedFile) +
                   L": the spooler has " + detail);

    const bool sample = InstalledAsListed(package, detail);
    Report(sample, L"drvhost install of the package: the spooler has " + detail);

    pinprint::UniquePrinter printer;
    PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterW(const_cast<LPWSTR>(kCheckPrinter), printer.put(), &all)) {
        DeletePrinter(printer.get());
    }
}

}  // namespace

// package_check [FOLDER [LANGID]]: LANGID (hexadecimal) is the language the package's pages and
// help must be in.
int wmain(int argc, wchar_t** argv) {
    std::wstring folder = argc > 1 ? argv[1] : pinprint::test::BinPath(L"..\\package\\");
    const auto language = static_cast<LANGID>(argc > 2 ? wcstoul(argv[2], nullptr, 16) : 0);
    wchar_t full[MAX_PATH] = {};
    if (GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr) > 0) {
        folder = full;
    }
    DriverPackage package;
    std::vector<std::wstring> errors;
    const bool read = drvhost::ReadDriverPackage(folder, package, errors);
    wprintf(L"Package check of %ls%ls\n", package.folder.c_str(), package.infName.c_str());
    Report(read && errors.empty(),
           L"the INF parses: " + std::to_wstring(package.inf.sections().size()) +
               L" sections; model \"" + package.model + L"\" installs from [" +
               package.installSection + L"]" + (errors.empty() ? L"" : L": " + Joined(errors)));
    if (read) {
        CheckInf(package);
        CheckFiles(package, language);
        CheckPpd(package);
        CheckInstall(package);
    }
    wprintf(L"package check: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
