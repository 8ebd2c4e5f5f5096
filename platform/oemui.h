// The PostScript driver's user-interface plug-in contract, which the MinGW-w64 headers lack.
// Byte layouts follow the platform's public reference for printoem.h and prcomoem.h; the
// static_asserts below pin every offset the plug-in reads, so a wrong declaration fails the build.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <winddiui.h>
#include <compstui.h>

#include <cstddef>

// Modes of IPrintOemUI::GetInfo.
#define OEMGI_GETSIGNATURE 1
#define OEMGI_GETINTERFACEVERSION 2
#define OEMGI_GETVERSION 3
#define OEMGI_GETPUBLISHERINFO 4
#define OEMGI_GETREQUESTEDHELPERINTERFACES 5  // which helper interfaces the plug-in wants

// Modes of IPrintOemUI::DevMode.
#define OEMDM_SIZE 1
#define OEMDM_DEFAULT 2
#define OEMDM_CONVERT 3
#define OEMDM_MERGE 4

// Modes of IPrintOemUI::CommonUIProp.
#define OEMCUIP_DOCPROP 1
#define OEMCUIP_PRNPROP 2

// Header every plug-in's private devmode block starts with.
typedef struct _OEM_DMEXTRAHEADER {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
} OEM_DMEXTRAHEADER, *POEM_DMEXTRAHEADER;

// Opaque to plug-ins; only its size field is documented.
typedef struct _OEMUIOBJ {
    DWORD cbSize;
} OEMUIOBJ, *POEMUIOBJ;

// Passed to CommonUIProp and DevQueryPrintEx, which this plug-in declines without looking at
// them; only pointers travel, so the records stay incomplete here.
typedef struct _OEMCUIPPARAM OEMCUIPPARAM, *POEMCUIPPARAM;
typedef struct _DEVQUERYPRINT_INFO* PDEVQUERYPRINT_INFO;

typedef struct _OEMDMPARAM {
    DWORD cbSize;
    PVOID pdriverobj;
    HANDLE hPrinter;
    HANDLE hModule;
    PDEVMODEW pPublicDMIn;
    PDEVMODEW pPublicDMOut;
    PVOID pOEMDMIn;
    PVOID pOEMDMOut;
    DWORD cbBufSize;
} OEMDMPARAM, *POEMDMPARAM;

typedef struct _OEMUIPSPARAM {
    DWORD cbSize;
    POEMUIOBJ poemuiobj;
    HANDLE hPrinter;
    PWSTR pPrinterName;
    HANDLE hModule;
    HANDLE hOEMHeap;
    PDEVMODEW pPublicDM;
    PVOID pOEMDM;
    PVOID pOEMUserData;
    DWORD dwFlags;
    PVOID pOemEntry;
} OEMUIPSPARAM, *POEMUIPSPARAM;

static_assert(sizeof(OEM_DMEXTRAHEADER) == 12);
static_assert(offsetof(OEM_DMEXTRAHEADER, dwSignature) == 4);
static_assert(offsetof(OEM_DMEXTRAHEADER, dwVersion) == 8);

#if defined(_WIN64)
static_assert(offsetof(OEMDMPARAM, pdriverobj) == 8);
static_assert(offsetof(OEMDMPARAM, hPrinter) == 16);
static_assert(offsetof(OEMDMPARAM, hModule) == 24);
static_assert(offsetof(OEMDMPARAM, pPublicDMIn) == 32);
static_assert(offsetof(OEMDMPARAM, pPublicDMOut) == 40);
static_assert(offsetof(OEMDMPARAM, pOEMDMIn) == 48);
static_assert(offsetof(OEMDMPARAM, pOEMDMOut) == 56);
static_assert(offsetof(OEMDMPARAM, cbBufSize) == 64);
static_assert(sizeof(OEMDMPARAM) == 72);

static_assert(offsetof(OEMUIPSPARAM, poemuiobj) == 8);
static_assert(offsetof(OEMUIPSPARAM, hPrinter) == 16);
static_assert(offsetof(OEMUIPSPARAM, pPrinterName) == 24);
static_assert(offsetof(OEMUIPSPARAM, hModule) == 32);
static_assert(offsetof(OEMUIPSPARAM, hOEMHeap) == 40);
static_assert(offsetof(OEMUIPSPARAM, pPublicDM) == 48);
static_assert(offsetof(OEMUIPSPARAM, pOEMDM) == 56);
static_assert(offsetof(OEMUIPSPARAM, pOEMUserData) == 64);
static_assert(offsetof(OEMUIPSPARAM, dwFlags) == 72);
static_assert(offsetof(OEMUIPSPARAM, pOemEntry) == 80);
static_assert(sizeof(OEMUIPSPARAM) == 88);
#endif

// The platform's class of printer-driver UI plug-ins, and the interfaces of the contract.
// {ABCE80D7-9F46-11D1-882A-00C04FB961EC}
extern "C" const CLSID CLSID_OEMUI;
// {C6A7A9D0-774C-11D1-947F-00A0C90640B8}
extern "C" const IID IID_IPrintOemUI;
// {92B05D50-78BC-11D1-9480-00A0C90640B8}
extern "C" const IID IID_IPrintOemDriverUI;

// Operations common to the driver's rendering and UI plug-ins, in vtable order.
struct IPrintOemCommon : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                              PDWORD pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) = 0;
};

// The UI plug-in interface, slots in vtable order: the order of the platform's declaration,
// which is how the driver finds each operation, whatever order it calls them in.
struct IPrintOemUI : public IPrintOemCommon {
    virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo,
                                                             LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo,
                                                           LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj,
                                                      PDEVQUERYPRINT_INFO pDQPInfo,
                                                      PDEVMODEW pPublicDM, PVOID pOEMDM) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter,
                                                         PWSTR pDeviceName, WORD wCapability,
                                                         PVOID pOutput, PDEVMODEW pPublicDM,
                                                         PVOID pOEMDM, DWORD dwOld,
                                                         DWORD* dwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, PBYTE pDriverUpgradeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent,
                                                   DWORD dwFlags, LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel,
                                                  LPBYTE pDriverInfo, LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj,
                                                        PDEVMODEW pPublicDM, PVOID pOEMDM,
                                                        ULONG ulQueryMode, VOID* pvProfileData,
                                                        ULONG* pcbProfileData,
                                                        ULONG* pflProfileData) = 0;
    virtual HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam,
                                                           LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap,
                                                          PWSTR pwstrCartridges) = 0;
};

// The driver's helper interface, published to the plug-in. The plug-in holds it but never
// calls through it; it is declared so that a host can implement it.
struct IPrintOemDriverUI : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pci, PCSTR Feature, PVOID pOutput,
                                                          DWORD cbSize, PDWORD pcbNeeded,
                                                          PDWORD pdwOptionsReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE hPrinter, PCSTR pFeature,
                                                                PCSTR pOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID pOptItem,
                                                         DWORD dwPreviousSelection,
                                                         DWORD dwMode) = 0;
};
