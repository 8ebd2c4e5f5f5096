#include "oem_plugin.h"

#include <winspool.h>

#include <string_view>

#include "config/driver_files.h"
#include "config/package_names.h"
#include "inf_file.h"

namespace drvhost {

std::wstring OemPluginPath(const std::vector<std::wstring>& dependentFiles,
                           const std::wstring& folder, const wchar_t* key) {
    for (const auto& file : dependentFiles) {
        const std::wstring name(pinprint::names::FileNamePart(std::wstring_view(file)));
        if (name.size() < 4 || !SameName(name.substr(name.size() - 4), L".INI")) {
            continue;
        }
        wchar_t plugin[MAX_PATH] = {};
        GetPrivateProfileStringW(L"OEMFiles", key, L"", plugin, MAX_PATH, (folder + name).c_str());
        if (plugin[0] != L'\0') {
            return folder + std::wstring(pinprint::names::FileNamePart(std::wstring_view(plugin)));
        }
    }
    return std::wstring();
}

std::wstring OemPluginPath(HANDLE printer, const wchar_t* key) {
    pinprint::UniqueGlobal record;
    std::wstring_view configFile;
    if (!pinprint::GetDriverString(printer, &DRIVER_INFO_3W::pConfigFile, record, configFile)) {
        return std::wstring();
    }
    std::vector<std::wstring> files;
    pinprint::GetDependentFiles(printer, files);
    return OemPluginPath(files, std::wstring(pinprint::names::DirectoryPart(configFile)), key);
}

}  // namespace drvhost
