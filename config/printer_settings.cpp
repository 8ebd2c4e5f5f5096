#include "config/printer_settings.h"

#include <winspool.h>
#include <winddiui.h>

#include "config/driver_files.h"
#include "config/driver_options.h"
#include "config/package_names.h"
#include "platform/unique_handle.h"

namespace pinprint {
namespace {

constexpr wchar_t kSection[] = L"DriverInfo";
constexpr wchar_t kDriverTypeKey[] = L"VkDriverType";
constexpr wchar_t kCopyright1[] = L"CopyrightYear1";
constexpr wchar_t kCopyright2[] = L"CopyrightYear2";
constexpr DWORD kCopyrightChars = 256;

// The About page reads the strings back into buffers of this size, so the whole cleared buffer
// is stored whatever the length of the text.
bool WriteCopyright(HANDLE printer, const wchar_t* value, const wchar_t* settingsFile) {
    wchar_t text[kCopyrightChars] = {};
    GetPrivateProfileStringW(kSection, value, L"", text, kCopyrightChars, settingsFile);
    return SetPrinterDataW(printer, const_cast<LPWSTR>(value), REG_SZ,
                           reinterpret_cast<LPBYTE>(text), sizeof(text)) == ERROR_SUCCESS;
}

}  // namespace

size_t BuildSettingsFilePath(HANDLE printer, wchar_t* path) {
    if (path == nullptr) {
        return 0;
    }
    UniqueGlobal record;
    std::wstring_view dataFile;
    if (!GetDriverString(printer, &DRIVER_INFO_3W::pDataFile, record, dataFile)) {
        return 0;
    }
    return names::ComposeSettingsPath(dataFile, path, kPathChars);
}

HRESULT InitializePrinterSettings(HANDLE printer) {
    wchar_t settingsFile[kPathChars] = {};
    if (BuildSettingsFilePath(printer, settingsFile) == 0) {
        return E_FAIL;
    }
    DWORD options = GetPrivateProfileIntW(kSection, kDriverOptionsValue, 0, settingsFile);
    GetPrivateProfileIntW(kSection, kDriverTypeKey, 0, settingsFile);  // carried, not used
    if (SetPrinterDataW(printer, const_cast<LPWSTR>(kDriverOptionsValue), REG_DWORD,
                        reinterpret_cast<LPBYTE>(&options), sizeof(options)) != ERROR_SUCCESS) {
        return E_FAIL;
    }
    if (!WriteCopyright(printer, kCopyright1, settingsFile) ||
        !WriteCopyright(printer, kCopyright2, settingsFile)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT HandlePrinterEvent(PWSTR printerName, INT driverEvent, DWORD, LPARAM) {
    if (driverEvent != PRINTER_EVENT_INITIALIZE) {
        return E_NOTIMPL;
    }
    // A null name would open the print server itself, which is no printer to initialize.
    if (printerName == nullptr) {
        return E_NOTIMPL;
    }
    static const PRINTER_DEFAULTSW kDefaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE opened = nullptr;
    if (!OpenPrinterW(printerName, &opened, const_cast<PRINTER_DEFAULTSW*>(&kDefaults)) ||
        opened == nullptr) {
        return E_NOTIMPL;
    }
    const UniquePrinter printer(opened);
    return InitializePrinterSettings(printer.get());
}

}  // namespace pinprint
