#include "config/printer_settings.h"
#include "module/plugin_module.h"
#include "pages/property_sheets.h"
#include "ticket/ticket_provider.h"

namespace pinprint {

PluginObject::PluginObject() : refCount_(1), driverUI_(nullptr), printer_(nullptr) {
    CountObjectIn();
}

PluginObject::~PluginObject() {
    CountObjectOut();
}

HRESULT PluginObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemUI)) {
        *ppv = static_cast<IPrintOemUI*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IPrintOemPrintTicketProvider)) {
        *ppv = static_cast<IPrintOemPrintTicketProvider*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG PluginObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG PluginObject::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
        if (driverUI_ != nullptr) {
            driverUI_->Release();
            driverUI_ = nullptr;
        }
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT PluginObject::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
    return AnswerGetInfo(InfoFlavor::UserInterface, dwMode, pBuffer, cbSize, pcbNeeded);
}

HRESULT PluginObject::DevMode(DWORD dwMode, POEMDMPARAM p) {
    return AnswerDevMode(dwMode, p);
}

HRESULT PluginObject::PublishDriverInterface(IUnknown* pIUnknown) {
    if (driverUI_ != nullptr) {
        return S_OK;
    }
    if (pIUnknown == nullptr) {
        return E_FAIL;
    }
    const HRESULT result =
        pIUnknown->QueryInterface(IID_IPrintOemDriverUI, reinterpret_cast<void**>(&driverUI_));
    if (FAILED(result)) {
        driverUI_ = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT PluginObject::CommonUIProp(DWORD, POEMCUIPPARAM) {
    return E_NOTIMPL;
}

HRESULT PluginObject::DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return pinprint::DocumentPropertySheets(pPSUIInfo, lParam);
}

HRESULT PluginObject::DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return pinprint::DevicePropertySheets(pPSUIInfo, lParam);
}

HRESULT PluginObject::DevQueryPrintEx(POEMUIOBJ, PDEVQUERYPRINT_INFO, PDEVMODEW, PVOID) {
    return E_NOTIMPL;
}

HRESULT PluginObject::DeviceCapabilities(POEMUIOBJ, HANDLE, PWSTR, WORD, PVOID, PDEVMODEW, PVOID,
                                         DWORD, DWORD*) {
    return E_NOTIMPL;
}

HRESULT PluginObject::UpgradePrinter(DWORD, PBYTE) {
    return E_NOTIMPL;
}

HRESULT PluginObject::PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                   LPARAM lParam) {
    return HandlePrinterEvent(pPrinterName, iDriverEvent, dwFlags, lParam);
}

HRESULT PluginObject::DriverEvent(DWORD, DWORD, LPBYTE, LPARAM) {
    return E_NOTIMPL;
}

HRESULT PluginObject::QueryColorProfile(HANDLE, POEMUIOBJ, PDEVMODEW, PVOID, ULONG, VOID*, ULONG*,
                                        ULONG*) {
    return E_NOTIMPL;
}

HRESULT PluginObject::FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) {
    return E_NOTIMPL;
}

HRESULT PluginObject::UpdateExternalFonts(HANDLE, HANDLE, PWSTR) {
    return E_NOTIMPL;
}

HANDLE PluginObject::BoundPrinter() const {
    return InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&printer_), nullptr,
                                             nullptr);
}

HRESULT PluginObject::GetSupportedVersions(HANDLE, INT* ppVersions[], INT* cVersions) {
    return ticket::GetSupportedVersions(ppVersions, cVersions);
}

HRESULT PluginObject::BindPrinter(HANDLE hPrinter, INT version, POEMPTOPTS pOptions,
                                  INT* cNamespaces, BSTR** ppNamespaces) {
    const HRESULT result = ticket::BindPrinter(version, pOptions, cNamespaces, ppNamespaces);
    if (SUCCEEDED(result)) {
        InterlockedExchangePointer(&printer_, hPrinter);
    }
    return result;
}

// The driver's helper is not needed: it is not kept, so no reference is taken.
HRESULT PluginObject::PublishPrintTicketHelperInterface(IUnknown*) {
    return S_OK;
}

// The plug-in keeps the namespace the driver generates for it.
HRESULT PluginObject::QueryDeviceDefaultNamespace(BSTR*) {
    return E_NOTIMPL;
}

HRESULT PluginObject::ConvertPrintTicketToDevMode(IXMLDOMDocument2* pPrintTicket, ULONG, PDEVMODEW,
                                                  ULONG cbDrvPrivateSize, PVOID pPrivateDevmode) {
    return ticket::ConvertPrintTicketToDevMode(BoundPrinter(), pPrintTicket, cbDrvPrivateSize,
                                               pPrivateDevmode);
}

HRESULT PluginObject::ConvertDevModeToPrintTicket(ULONG, PDEVMODEW, ULONG cbDrvPrivateSize,
                                                  PVOID pPrivateDevmode,
                                                  IXMLDOMDocument2* pPrintTicket) {
    return ticket::ConvertDevModeToPrintTicket(BoundPrinter(), cbDrvPrivateSize, pPrivateDevmode,
                                               pPrintTicket);
}

HRESULT PluginObject::CompletePrintCapabilities(IXMLDOMDocument2*,
                                                IXMLDOMDocument2* pCapabilities) {
    return ticket::CompletePrintCapabilities(BoundPrinter(), pCapabilities);
}

// No option of the secure job stands for an intent of other settings.
HRESULT PluginObject::ExpandIntentOptions(IXMLDOMDocument2*) {
    return S_OK;
}

HRESULT PluginObject::ValidatePrintTicket(IXMLDOMDocument2* pPrintTicket) {
    return ticket::ValidatePrintTicket(BoundPrinter(), pPrintTicket);
}

}  // namespace pinprint
