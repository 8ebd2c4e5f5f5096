// Printer initialization: copying the driver package's install-time settings from the settings
// file beside the driver's data file into the printer's own data.
#pragma once

#include <windows.h>

namespace pinprint {

// The data file's path with its last three characters replaced by "DAT" in `path`
// (kPathChars); its length, or 0 when no path can be composed.
size_t BuildSettingsFilePath(HANDLE printer, wchar_t* path);

// Writes "VkDriverOptions", "CopyrightYear1" and "CopyrightYear2" into the printer's data.
// S_OK when all three were written, E_FAIL otherwise.
HRESULT InitializePrinterSettings(HANDLE printer);

// IPrintOemUI::PrinterEvent: printer initialization for PRINTER_EVENT_INITIALIZE, E_NOTIMPL
// for every other event and for a printer that cannot be opened.
HRESULT HandlePrinterEvent(PWSTR printerName, INT driverEvent, DWORD flags, LPARAM lParam);

}  // namespace pinprint
