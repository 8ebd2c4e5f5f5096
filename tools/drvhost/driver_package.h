// What a driver package's INF installs for its 64-bit printer model, read the way the printer
// class installer reads it: the model, the driver's four files, the copy lists and, from them,
// the dependent files.
#pragma once

#include <string>
#include <vector>

#include "inf_file.h"

namespace drvhost {

// The printer-driver directory's DIRID.
inline constexpr wchar_t kPrinterDriverDirId[] = L"66000";

struct CopyList {
    std::wstring name;         // a file-list section, or "@FILE" for a single file
    std::wstring destination;  // its DIRID from [DestinationDirs] (DefaultDestDir when unnamed)
    std::vector<std::wstring> files;
};

struct DriverPackage {
    std::wstring folder;  // with a trailing backslash
    std::wstring infName;
    InfFile inf;
    std::wstring model;  // the printer driver's name
    std::wstring installSection;
    std::wstring hardwareId;  // the model's first hardware ID, empty when it lists none
    std::wstring driverFile, configFile, dataFile, helpFile;  // helpFile may be empty
    std::vector<CopyList> copyLists;
    // The files copied to the printer-driver directory other than the four above, in INF order.
    std::vector<std::wstring> dependentFiles;
};

// Reads the INF in `folder` (the first *.inf there). Syntax problems go to `errors` too.
// False, with the reason in `errors`, when there is no INF, no 64-bit model, no install section
// or no DriverFile, ConfigFile or DataFile.
bool ReadDriverPackage(const std::wstring& folder, DriverPackage& package,
                       std::vector<std::wstring>& errors);

}  // namespace drvhost
