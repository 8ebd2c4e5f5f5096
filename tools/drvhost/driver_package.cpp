#include "driver_package.h"

#include <windows.h>

namespace drvhost {
namespace {

bool StartsWithName(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// [Manufacturer] lists "name=models-section[,decoration...]"; the 64-bit models stand in the
// section decorated NTamd64 (with or without an OS version after it).
bool FindModel(DriverPackage& package, std::vector<std::wstring>& errors) {
    const InfSection* manufacturers = package.inf.Find(L"Manufacturer");
    for (size_t m = 0; manufacturers != nullptr && m < manufacturers->lines.size(); ++m) {
        const std::vector<std::wstring>& values = manufacturers->lines[m].values;
        for (size_t d = 1; d < values.size(); ++d) {
            if (!StartsWithName(values[d], L"NTamd64")) {
                continue;
            }
            const InfSection* models = package.inf.Find(values[0] + L"." + values[d]);
            for (size_t i = 0; models != nullptr && i < models->lines.size(); ++i) {
                const InfLine& line = models->lines[i];
                if (!line.key.empty() && !line.values[0].empty()) {
                    package.model = line.key;
                    package.installSection = line.values[0];
                    package.hardwareId = line.values.size() > 1 ? line.values[1] : L"";
                    return true;
                }
            }
        }
    }
    errors.push_back(L"no 64-bit (NTamd64) model in [Manufacturer]");
    return false;
}

}  // namespace

bool ReadDriverPackage(const std::wstring& folder, DriverPackage& package,
                       std::vector<std::wstring>& errors) {
    package = DriverPackage();
    package.folder = folder;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
        package.folder += L'\\';
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((package.folder + L"*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        errors.push_back(L"no INF in " + package.folder);
        return false;
    }
    package.infName = found.cFileName;
    FindClose(search);
    if (!package.inf.Load(package.folder + package.infName, errors)) {
        errors.push_back(L"cannot read " + package.folder + package.infName);
        return false;
    }
    if (!FindModel(package, errors)) {
        return false;
    }
    const std::wstring& install = package.installSection;
    if (package.inf.Find(install) == nullptr) {
        errors.push_back(L"the install section [" + install + L"] is missing");
        return false;
    }
    // Defaults where an entry is missing, as the printer class installer has them.
    auto entry = [&](const wchar_t* key, const std::wstring& fallback) {
        const std::wstring value = package.inf.Value(install, key);
        return value.empty() ? fallback : value;
    };
    package.driverFile = entry(L"DriverFile", install);
    package.configFile = entry(L"ConfigFile", package.driverFile);
    package.dataFile = entry(L"DataFile", install);
    package.helpFile = entry(L"HelpFile", L"");

    const std::wstring defaultDestination =
        package.inf.Value(L"DestinationDirs", L"DefaultDestDir");
    for (const auto& name : package.inf.Values(install, L"CopyFiles")) {
        CopyList list{name, defaultDestination, {}};
        if (!name.empty() && name.front() == L'@') {
            list.files.push_back(name.substr(1));
        } else if (const InfSection* files = package.inf.Find(name)) {
            const std::wstring destination = package.inf.Value(L"DestinationDirs", name.c_str());
            if (!destination.empty()) {
                list.destination = destination;
            }
            for (const auto& line : files->lines) {
                list.files.push_back(line.key.empty() ? line.values[0] : line.key);
            }
        } else {
            errors.push_back(L"CopyFiles names [" + name + L"], which does not exist");
            continue;
        }
        package.copyLists.push_back(std::move(list));
    }

    for (const auto& list : package.copyLists) {
        if (list.destination != kPrinterDriverDirId) {
            continue;
        }
        for (const auto& file : list.files) {
            bool known = false;
            for (const auto* other :
                 {&package.driverFile, &package.configFile, &package.dataFile, &package.helpFile}) {
                known = known || SameName(file, *other);
            }
            for (const auto& dependent : package.dependentFiles) {
                known = known || SameName(file, dependent);
            }
            if (!known) {
                package.dependentFiles.push_back(file);
            }
        }
    }
    return true;
}

}  // namespace drvhost
