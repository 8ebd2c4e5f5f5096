// The PostScript driver's rendering plug-in contract, which the MinGW-w64 headers lack: the
// rendering plug-in's interface IPrintOemPS, the two helper interfaces the driver lends it
// (IPrintOemDriverPS and IPrintCorePS2), and the DEVOBJ record every per-job call carries.
// Declared from the platform's public reference for prcomoem.h and printoem.h; the reference
// pages list the methods alphabetically, the slots below are in the order the headers declare
// them, which is how the driver finds each operation. The graphics engine's records (GDIINFO,
// DEVINFO, DRVENABLEDATA, the surface handles) only pass through: they stay incomplete here.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/oemui.h"

// The injection points of IPrintOemPS::Command come from wingdi.h, in both SDKs. The values the
// plug-in and the driver host rely on are pinned here.
static_assert(PSINJECT_BEGINSTREAM == 1 && PSINJECT_PSADOBE == 2 && PSINJECT_PAGESATEND == 3 &&
              PSINJECT_PAGES == 4 && PSINJECT_DOCNEEDEDRES == 5 && PSINJECT_DOCSUPPLIEDRES == 6 &&
              PSINJECT_PAGEORDER == 7 && PSINJECT_ORIENTATION == 8 && PSINJECT_BOUNDINGBOX == 9);
static_assert(PSINJECT_COMMENTS == 11 && PSINJECT_BEGINDEFAULTS == 12 &&
              PSINJECT_ENDDEFAULTS == 13 && PSINJECT_BEGINPROLOG == 14 &&
              PSINJECT_ENDPROLOG == 15 && PSINJECT_BEGINSETUP == 16 && PSINJECT_ENDSETUP == 17 &&
              PSINJECT_TRAILER == 18 && PSINJECT_EOF == 19 && PSINJECT_ENDSTREAM == 20);
static_assert(PSINJECT_PAGENUMBER == 100 && PSINJECT_BEGINPAGESETUP == 101 &&
              PSINJECT_ENDPAGESETUP == 102 && PSINJECT_PAGETRAILER == 103 &&
              PSINJECT_SHOWPAGE == 105);

// The graphics engine's records, opaque to the plug-in.
struct _GDIINFO;
struct _DEVINFO;
struct _DRVENABLEDATA;

// The plug-in's own per-job record, as the driver hands it back in DEVOBJ.pdevOEM.
typedef PVOID PDEVOEM;

typedef struct _DEVOBJ {
    DWORD dwSize;
    PDEVOEM pdevOEM;
    HANDLE hEngine;
    HANDLE hPrinter;
    HANDLE hOEM;
    PDEVMODEW pPublicDM;
    PVOID pOEMDM;
    PVOID pDrvProcs;  // not used
} DEVOBJ, *PDEVOBJ;

#if defined(_WIN64)
static_assert(offsetof(DEVOBJ, pdevOEM) == 8);
static_assert(offsetof(DEVOBJ, hEngine) == 16);
static_assert(offsetof(DEVOBJ, hPrinter) == 24);
static_assert(offsetof(DEVOBJ, hOEM) == 32);
static_assert(offsetof(DEVOBJ, pPublicDM) == 40);
static_assert(offsetof(DEVOBJ, pOEMDM) == 48);
static_assert(offsetof(DEVOBJ, pDrvProcs) == 56);
static_assert(sizeof(DEVOBJ) == 64);
#endif

// The platform's class of rendering plug-ins, and the interfaces of the contract.
// {6D6ABF26-9F38-11D1-882A-00C04FB961EC}
extern "C" const CLSID CLSID_OEMRENDER;
// {688342B5-8E1A-11D1-881F-00C04FB961EC}
extern "C" const IID IID_IPrintOemPS;
// {BECF7F34-51B3-46C9-8A1C-18679BD21F36}
extern "C" const IID IID_IPrintOemPS2;
// {D90060C7-8E1A-11D1-881F-00C04FB961EC}
extern "C" const IID IID_IPrintOemDriverPS;
// {CDBB0B0B-A917-40D7-9FBF-483B3BE7EF22}
extern "C" const IID IID_IPrintCorePS2;

// The engine's operations of a rendering plug-in, after IPrintOemCommon's GetInfo and DevMode.
struct IPrintOemEngine : public IPrintOemCommon {
    virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize,
                                                   struct _DRVENABLEDATA* pded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
    // phsurfPatterns: HSURF surface handles, which only pass through.
    virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName,
                                                 ULONG cPatterns, HANDLE* phsurfPatterns,
                                                 ULONG cjGdiInfo, struct _GDIINFO* pGdiInfo,
                                                 ULONG cjDevInfo, struct _DEVINFO* pDevInfo,
                                                 struct _DRVENABLEDATA* pded, PDEVOEM* pDevOem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) = 0;
};

// The PostScript driver's rendering plug-in interface.
struct IPrintOemPS : public IPrintOemEngine {
    virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) = 0;
    // pData and cbSize are unused; *pdwResult: ERROR_SUCCESS after a write, ERROR_NOT_SUPPORTED
    // when nothing is added at this point, or an error code.
    virtual HRESULT STDMETHODCALLTYPE Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pData,
                                              DWORD cbSize, DWORD* pdwResult) = 0;
};

// The driver's older helper interface for rendering plug-ins.
struct IPrintOemDriverPS : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature,
                                                          PVOID pOutput, DWORD cbSize,
                                                          PDWORD pcbNeeded,
                                                          PDWORD pdwOptionsReturned) = 0;
    // *pdwResult: the number of bytes sent to the spooler.
    virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                       DWORD* pdwResult) = 0;
};

// The driver's newer helper interface. Only its first slot is declared: it is the one the
// plug-in calls. The driver's object has further slots behind it (options, features,
// constraints), so no caller may reach beyond this one through this declaration.
struct IPrintCorePS2 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                       DWORD* pdwResult) = 0;
};
