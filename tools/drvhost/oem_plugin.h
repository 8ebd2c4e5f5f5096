// The plug-ins that a PostScript driver loads, found by the driver's rule: the OEM INI is the
// first dependent file named *.INI whose [OEMFiles] section has the plug-in's key
// (OEMConfigFile1 for the UI plug-in, OEMDriverFile1 for the rendering plug-in), and the plug-in
// is the file of that name in the driver's folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace drvhost {

// `folder` is the driver's folder, with a trailing backslash; the INIs are read there.
// Empty when no dependent INI names a plug-in.
std::wstring OemPluginPath(const std::vector<std::wstring>& dependentFiles,
                           const std::wstring& folder, const wchar_t* key = L"OEMConfigFile1");

// The same for an installed printer's driver, from the spooler's record; the driver's folder
// is its configuration module's.
std::wstring OemPluginPath(HANDLE printer, const wchar_t* key = L"OEMConfigFile1");

}  // namespace drvhost
