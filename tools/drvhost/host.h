// Shared pieces of the driver host's commands.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver_side.h"
#include "platform/oemui.h"
#include "platform/unique_handle.h"

namespace drvhost {

// Command-line arguments after the command name.
using Args = std::vector<std::wstring>;

bool HasFlag(const Args& args, const wchar_t* flag);
// Value following `option` ("--printer NAME"), or `fallback`.
std::wstring OptionValue(const Args& args, const wchar_t* option, const std::wstring& fallback);

// Folder of drvhost.exe, with a trailing backslash.
std::wstring ExeDirectory();

// The plug-in loaded the way the PostScript driver loads it: LoadLibraryW, DllGetClassObject,
// CreateInstance for IPrintOemUI, PublishDriverInterface with the host's own driver object,
// and the GetInfo signature check.
class PluginHost {
  public:
    ~PluginHost();
    // Loads `dllPath` (empty: pinprintui.dll beside the host). Prints why on failure.
    bool Load(const std::wstring& dllPath);
    IPrintOemUI* plugin() const { return plugin_; }
    HMODULE module() const { return module_; }
    DWORD signature() const { return signature_; }
    DWORD version() const { return version_; }

    // The driver's devmode as drvhost::DefaultDevmode makes it (driver_side.h); says why not.
    bool DefaultDevmode(std::vector<BYTE>& block, DWORD& privateSize);
    // OEMDM_MERGE of `privateIn` into the private part of `block`, as the driver does before
    // a job is printed.
    HRESULT MergeDevmode(std::vector<BYTE>& block, DWORD privateSize, const void* privateIn);

  private:
    HMODULE module_ = nullptr;
    IPrintOemUI* plugin_ = nullptr;
    DriverHelper driverObject_;  // handed to PublishDriverInterface
    DWORD signature_ = 0;
    DWORD version_ = 0;
};

// The printer opened with `access`; empty when it cannot be opened.
pinprint::UniquePrinter OpenPrinterWith(const std::wstring& name, ACCESS_MASK access);

// Printer initialization as the driver does it: PRINTER_EVENT_INITIALIZE to the plug-in the
// printer's driver names, then the printer data it wrote, printed. The exit code: 0 when the
// plug-in answered S_OK.
int InitializePrinter(const std::wstring& printerName);

// Prints the decoded private devmode: readable text, or one JSON object.
void PrintPrivateDevmode(const void* block, DWORD size, bool json);

// PNG of 8-bit RGB pixels, rows top-down, `width` * 3 bytes each.
std::vector<BYTE> EncodePng(UINT width, UINT height, const std::vector<BYTE>& rgb);
// The window as it is on screen, frame and child controls included: 0x00RRGGBB pixels, rows from
// the top, `size` wide and high; empty when it cannot be captured.
std::vector<uint32_t> CaptureWindow(HWND window, SIZE& size);
// Writes the window as it is on screen, frame and child controls included, to a PNG file.
bool CaptureWindowPng(HWND window, const std::wstring& path);

// Printing Preferences as `drvhost prefs` opens it with `args`, then the page's record merged
// into the printer's defaults (OEMDM_MERGE) into `devmode`. 0 when the sheet ended with OK.
int EditPreferences(const Args& args, std::vector<BYTE>& devmode);

// Commands.
int CommandDevmode(const Args& args);
int CommandInstall(const Args& args);
int CommandPrefs(const Args& args);
int CommandProps(const Args& args);
int CommandTicket(const Args& args);
int CommandPrint(const Args& args);
int CommandJob(const Args& args);

}  // namespace drvhost
