// Printer initialization as the PostScript driver does it: the spooler sends no initialization
// event to a driver here, so the host forwards PRINTER_EVENT_INITIALIZE to the plug-in the
// printer's driver names, as the driver's DrvPrinterEvent would, and shows what the plug-in
// wrote into the printer's data.
#include <windows.h>
#include <winspool.h>
#include <winddiui.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/driver_options.h"
#include "host.h"
#include "oem_plugin.h"

namespace drvhost {
namespace {

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

}  // namespace

pinprint::UniquePrinter OpenPrinterWith(const std::wstring& name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    pinprint::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), printer.put(), &defaults)) {
        printer.release();  // a failed open leaves nothing to close
    }
    return printer;
}

int InitializePrinter(const std::wstring& printerName) {
    const std::wstring pluginPath =
        OemPluginPath(OpenPrinterWith(printerName, PRINTER_ALL_ACCESS).get());
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

    const pinprint::UniquePrinter opened = OpenPrinterWith(printerName, PRINTER_ACCESS_USE);
    if (!opened) {
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
