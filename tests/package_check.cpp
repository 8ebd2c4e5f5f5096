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
    printf("  %-5s %s\n", ok ? "ok" : "FAIL", pinprint::test::Utf8(what).c_str());
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

// The dependent file that `test` picks for a user of `locale`, by the plug-in's own rule over
// the list as the spooler hands it over (one multi-string); "" when none.
template <typename Test>
std::wstring Picked(const DriverPackage& package, Test test, std::wstring_view locale) {
    std::wstring multi;
    for (const auto& file : package.dependentFiles) {
        multi += file;
        multi += L'\0';
    }
    multi += L'\0';
    wchar_t name[names::kPathBufferChars] = {};
    names::CopyBestMatchingFileName(multi.c_str(), multi.size(), test, locale, name,
                                    names::kPathBufferChars);
    return name;
}

// The brand file's values (UTF-8 key=value lines of [Brand]), as the build read them.
struct Brand {
    std::wstring Value(const wchar_t* key) const {
        for (const auto& [k, v] : values) {
            if (k == key) {
                return v;
            }
        }
        return L"";
    }
    std::vector<std::pair<std::wstring, std::wstring>> values;
};

Brand ReadBrand(const std::wstring& path) {
    Brand brand;
    std::ifstream in(path.c_str());
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == ';' || equals == std::string::npos) {
            continue;
        }
        std::wstring wide(line.size(), L'\0');
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                        wide.data(), static_cast<int>(wide.size())));
        const size_t at = wide.find(L'=');
        auto trim = [](std::wstring t) {
            t.erase(0, t.find_first_not_of(L" \t"));
            t.erase(t.find_last_not_of(L" \t\r") + 1);
            return t;
        };
        brand.values.emplace_back(trim(wide.substr(0, at)), trim(wide.substr(at + 1)));
    }
    return brand;
}

// A DLL's version as its fixed block and its two version strings give it, each as "a.b.c.d",
// then its CompanyName, ProductName and LegalCopyright.
std::vector<std::wstring> FileVersions(const std::wstring& path) {
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        return {};
    }
    auto four = [](DWORD high, DWORD low) {
        return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
               std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
    };
    std::vector<std::wstring> versions = {
        four(fixed->dwFileVersionMS, fixed->dwFileVersionLS),
        four(fixed->dwProductVersionMS, fixed->dwProductVersionLS)};
    WORD* translation = nullptr;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        length >= 4) {
        for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"CompanyName",
                                    L"ProductName", L"LegalCopyright"}) {
            wchar_t query[64];
            swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                     name);
            wchar_t* text = nullptr;
            versions.push_back(
                VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &length)
                    ? text
                    : L"");
        }
    }
    return versions;
}

// Whether `bytes` hold `text` in ASCII or UTF-16LE, the case of a..z aside.
bool HoldsText(const std::string& bytes, const std::wstring& text) {
    if (text.empty()) {
        return false;
    }
    auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t width : {1, 2}) {
        const size_t span = text.size() * width;
        for (size_t at = 0; at + span <= bytes.size(); ++at) {
            size_t i = 0;
            while (i < text.size() &&
                   lower(static_cast<unsigned char>(bytes[at + i * width])) == lower(text[i]) &&
                   (width == 1 || bytes[at + i * width + 1] == 0)) {
                ++i;
            }
            if (i == text.size()) {
                return true;
            }
        }
    }
    return false;
}

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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

void CheckFiles(const DriverPackage& package) {
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

    // Every language of the package, as a user of that UI language gets it: exactly one
    // resource module and one help file per language, in that language.
    struct Language {
        const wchar_t* locale;
        LANGID id;
    };
    const Language languages[] = {
        {L"en-US", 0x0409}, {L"ja-JP", 0x0411}, {L"de-DE", 0x0407}, {L"fr-FR", 0x040C}};
    std::vector<std::wstring> perTag;
    for (const auto& file : package.dependentFiles) {
        if (names::IsResourceModuleName(std::wstring_view(file))) {
            perTag.emplace_back(names::LanguageTagOf(std::wstring_view(file)));
        }
    }
    for (const Language& language : languages) {
        const std::wstring resources =
            Picked(package, names::IsResourceModuleName<wchar_t>, language.locale);
        const std::wstring help = Picked(package, names::IsHelpFileName<wchar_t>, language.locale);
        const std::wstring tag(names::LanguageTagOf(std::wstring_view(resources)));
        size_t sameTag = 0;
        for (const auto& t : perTag) {
            sameTag += SameName(t, tag) ? 1 : 0;
        }
        const LANGID pages = resources.empty() ? 0 : DialogLanguage(package.folder + resources);
        const LANGID topics = help.empty() ? 0 : HelpLanguage(package.folder + help);
        Report(sameTag == 1 && pages == language.id && IsHtmlHelpFile(package.folder + help) &&
                   topics == language.id,
               std::wstring(L"user language ") + language.locale + L": " +
                   (resources.empty() ? L"no resource module" : resources) + L" (pages in " +
                   Hex(pages) + L", the only module of its language) and " +
                   (help.empty() ? L"no help" : help) + L" (help in " + Hex(topics) + L")");
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

// The brand's names and version everywhere in the package, and nothing of another brand (the
// sample's, when this is not the sample) in any of its files.
void CheckBrand(const DriverPackage& package, const Brand& brand, const Brand& sample,
                const std::wstring& sampleLogo) {
    const std::wstring stem = brand.Value(L"FileStem");
    std::wstring upper = stem;
    for (auto& c : upper) {
        c = names::UpperAscii(c);
    }
    std::vector<std::wstring> misnamed;
    for (const auto& file : package.dependentFiles) {
        const std::wstring lower = [&] {
            std::wstring l = file;
            for (auto& c : l) {
                c = static_cast<wchar_t>(towlower(c));
            }
            return l;
        }();
        if (lower.compare(0, stem.size(), stem) != 0) {
            misnamed.push_back(file);
        }
    }
    const bool named = misnamed.empty() && SameName(package.infName, stem + L".inf") &&
                       SameName(package.dataFile, upper + L".PPD") &&
                       package.model == brand.Value(L"Product") &&
                       package.hardwareId == brand.Value(L"HardwareId");
    Report(named, L"names: " + package.infName + L", " + package.dataFile +
                      L" and every dependent file " + L"start with \"" + stem + L"\"; model \"" +
                      package.model + L"\", " + package.hardwareId +
                      (misnamed.empty() ? L"" : L"; misnamed: " + Joined(misnamed)));

    const std::wstring version = brand.Value(L"Version");
    std::vector<std::wstring> off;
    const std::vector<std::wstring> driverVer = package.inf.Values(L"Version", L"DriverVer");
    if (driverVer.size() != 2 || driverVer[1] != version) {
        off.push_back(package.infName);
    }
    size_t dlls = 0;
    for (const auto& file : package.dependentFiles) {
        if (file.size() > 4 && SameName(file.substr(file.size() - 4), L".dll")) {
            ++dlls;
            const std::vector<std::wstring> v = FileVersions(package.folder + file);
            if (v.size() != 7 || v[6].find(brand.Value(L"CopyrightOwner")) == std::wstring::npos ||
                v != std::vector<std::wstring>{version, version, version, version,
                                               brand.Value(L"Company"), brand.Value(L"Product"),
                                               v[6]}) {
                off.push_back(file + L" (" + Joined(v, L", ") + L")");
            }
        }
    }
    Report(off.empty(), L"version " + version +
                            L" in DriverVer and in the fixed and string versions of " +
                            std::to_wstring(dlls) + L" DLLs, each with the brand's CompanyName \"" +
                            brand.Value(L"Company") + L"\", ProductName and copyright owner" +
                            (off.empty() ? L"" : L"; differs in " + Joined(off)));

    if (SameName(sample.Value(L"FileStem"), stem)) {
        return;  // the sample itself
    }
    std::wstring namespaceHost = sample.Value(L"Namespace");
    namespaceHost = namespaceHost.substr(namespaceHost.find(L"//") + 2);
    namespaceHost = namespaceHost.substr(0, namespaceHost.find(L'/'));
    const std::wstring traces[] = {sample.Value(L"Company"), sample.Value(L"FileStem"),
                                   sample.Value(L"HardwareId"), namespaceHost};
    const std::string logo = ReadBytes(sampleLogo);
    const std::string logoPixels = logo.size() > 1078 ? logo.substr(logo.size() - 1024) : "";
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((package.folder + L"*").c_str(), &entry);
    size_t files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                continue;
            }
            ++files;
            const std::string bytes = ReadBytes(package.folder + entry.cFileName);
            for (const auto& trace : traces) {
                if (HoldsText(bytes, trace)) {
                    found.push_back(std::wstring(entry.cFileName) + L" holds \"" + trace + L"\"");
                }
            }
            if (!logoPixels.empty() && bytes.find(logoPixels) != std::string::npos) {
                found.push_back(std::wstring(entry.cFileName) + L" holds the sample's logo");
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    Report(found.empty() && !logoPixels.empty(),
           L"nothing of the sample brand (" +
               Joined(std::vector<std::wstring>(std::begin(traces), std::end(traces)), L", ") +
               L", its logo) in the " + std::to_wstring(files) + L" files" +
               (found.empty() ? L"" : L": " + Joined(found, L"; ")));
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

// package_check [FOLDER [BRAND.ini SAMPLE.ini SAMPLE_LOGO.bmp]]: the package in FOLDER, built
// for the brand BRAND.ini; nothing of the sample brand may be left in another brand's package.
int wmain(int argc, wchar_t** argv) {
    std::wstring folder = argc > 1 ? argv[1] : pinprint::test::BinPath(L"..\\package\\");
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
        CheckFiles(package);
        CheckPpd(package);
        if (argc > 4) {
            CheckBrand(package, ReadBrand(argv[2]), ReadBrand(argv[3]), argv[4]);
        }
        CheckInstall(package);
    }
    wprintf(L"package check: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
