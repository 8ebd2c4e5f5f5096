// The plug-in module: process-wide state, the class factory and the plug-in object that the
// PostScript driver's configuration module drives through IPrintOemUI.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <new>

#include "platform/oemui.h"
#include "platform/print_ticket_provider.h"

namespace pinprint {

// The DLL's own instance handle, recorded once at process attach.
HINSTANCE OwnModuleHandle();
void SetOwnModuleHandle(HINSTANCE module);

// Server lifetime. Both counts change only by interlocked operations.
LONG ServerLockCount();
void ChangeServerLock(bool lock);
LONG LiveObjectCount();
// Factories and plug-in objects count themselves in at creation and out at destruction, so that
// the module is never unloaded under a live object.
void CountObjectIn();
void CountObjectOut();

// The failure convention of the operations that report a thread error code with E_FAIL.
inline HRESULT FailWith(DWORD error) {
    SetLastError(error);
    return E_FAIL;
}

// Signature and version the driver asks for through GetInfo; the private devmode carries the same.
inline constexpr DWORD kPluginSignature = 0x564B5053;
inline constexpr DWORD kPluginVersion = 0x101;

// Where the factory and the plug-in object live: the C runtime's malloc, which answers null when
// memory runs out. The library's own nothrow new throws bad_alloc and catches it inside, and a
// throw needs memory of its own, without which MinGW's runtime ends the whole process.
struct RuntimeAllocated {
    static void* operator new(size_t size, const std::nothrow_t&) noexcept {
        return std::malloc(size);
    }
    static void operator delete(void* block) noexcept { std::free(block); }
    // The pair of the placement form above, should a constructor ever throw.
    static void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
};

// Makes a new object of the DLL's one class and asks it for `riid`: what a class factory's
// CreateInstance does once its own checks have passed.
using ObjectMaker = HRESULT (*)(REFIID riid, void** ppv);

// The ObjectMaker of `Object`: a new object with reference count 1, asked for `riid`; a refused
// interface destroys it again with the one Release.
template <typename Object>
HRESULT MakeObject(REFIID riid, void** ppv) {
    auto* object = new (std::nothrow) Object();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
}

// The class factory of both plug-ins; it makes what its ObjectMaker makes.
class ClassFactory final : public IClassFactory, public RuntimeAllocated {
  public:
    explicit ClassFactory(ObjectMaker make);
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  private:
    ~ClassFactory();
    volatile LONG refCount_;
    ObjectMaker make_;
};

// DllGetClassObject of a DLL that serves the one class `served`, whose objects `make` makes:
// a new factory for every call, the caller holding its only reference.
HRESULT ServeClassObject(REFCLSID rclsid, REFIID riid, void** ppv, REFCLSID served,
                         ObjectMaker make);
// DllCanUnloadNow: no live object and no server lock.
HRESULT CanUnloadModule();

// The answers both plug-ins give the driver's GetInfo and DevMode requests, from one source.
// The two differ only in the modes a rendering plug-in may decline: the UI plug-in fails
// OEMGI_GETPUBLISHERINFO with ERROR_NOT_SUPPORTED, the rendering plug-in answers E_NOTIMPL to it
// and to OEMGI_GETREQUESTEDHELPERINTERFACES.
enum class InfoFlavor { UserInterface, Rendering };
HRESULT AnswerGetInfo(InfoFlavor flavor, DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                      PDWORD pcbNeeded);
HRESULT AnswerDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam);

// One object for both interfaces the driver asks for: the UI plug-in and the PrintTicket provider.
// IUnknown is IPrintOemUI's, whichever interface it is asked through.
class PluginObject final : public IPrintOemUI,
                           public IPrintOemPrintTicketProvider,
                           public RuntimeAllocated {
  public:
    PluginObject();
    PluginObject(const PluginObject&) = delete;
    PluginObject& operator=(const PluginObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPrintOemCommon
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                      PDWORD pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;

    // IPrintOemUI
    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) override;
    HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo,
                                                     LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo,
                                                   LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo,
                                              PDEVMODEW pPublicDM, PVOID pOEMDM) override;
    HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter,
                                                 PWSTR pDeviceName, WORD wCapability, PVOID pOutput,
                                                 PDEVMODEW pPublicDM, PVOID pOEMDM, DWORD dwOld,
                                                 DWORD* dwResult) override;
    HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, PBYTE pDriverUpgradeInfo) override;
    HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                           LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel, LPBYTE pDriverInfo,
                                          LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj,
                                                PDEVMODEW pPublicDM, PVOID pOEMDM,
                                                ULONG ulQueryMode, VOID* pvProfileData,
                                                ULONG* pcbProfileData,
                                                ULONG* pflProfileData) override;
    HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam,
                                                   LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap,
                                                  PWSTR pwstrCartridges) override;

    // IPrintOemPrintTicketProvider (the work is in ticket/)
    HRESULT STDMETHODCALLTYPE GetSupportedVersions(HANDLE hPrinter, INT* ppVersions[],
                                                   INT* cVersions) override;
    HRESULT STDMETHODCALLTYPE BindPrinter(HANDLE hPrinter, INT version, POEMPTOPTS pOptions,
                                          INT* cNamespaces, BSTR** ppNamespaces) override;
    HRESULT STDMETHODCALLTYPE PublishPrintTicketHelperInterface(IUnknown* pHelper) override;
    HRESULT STDMETHODCALLTYPE QueryDeviceDefaultNamespace(BSTR* pbstrNamespaceUri) override;
    HRESULT STDMETHODCALLTYPE ConvertPrintTicketToDevMode(IXMLDOMDocument2* pPrintTicket,
                                                          ULONG cbDevmode, PDEVMODEW pDevmode,
                                                          ULONG cbDrvPrivateSize,
                                                          PVOID pPrivateDevmode) override;
    HRESULT STDMETHODCALLTYPE ConvertDevModeToPrintTicket(ULONG cbDevmode, PDEVMODEW pDevmode,
                                                          ULONG cbDrvPrivateSize,
                                                          PVOID pPrivateDevmode,
                                                          IXMLDOMDocument2* pPrintTicket) override;
    HRESULT STDMETHODCALLTYPE CompletePrintCapabilities(IXMLDOMDocument2* pPrintTicket,
                                                        IXMLDOMDocument2* pCapabilities) override;
    HRESULT STDMETHODCALLTYPE ExpandIntentOptions(IXMLDOMDocument2* pPrintTicket) override;
    HRESULT STDMETHODCALLTYPE ValidatePrintTicket(IXMLDOMDocument2* pPrintTicket) override;

  private:
    ~PluginObject();
    HANDLE BoundPrinter() const;

    volatile LONG refCount_;
    IPrintOemDriverUI* driverUI_;  // the driver's helper interface once published; never called
    // The printer BindPrinter was given: the driver's handle, never closed here. Written once,
    // read by calls on any thread.
    HANDLE volatile printer_;
};

}  // namespace pinprint
