// The rendering plug-in's COM object: IPrintOemPS on CLSID_OEMRENDER, which the PostScript
// driver's rendering side drives for every job. It shares the private devmode with the UI
// plug-in (the same DevMode answers, module/plugin_requests.cpp) and writes the secure job's
// envelope (job_envelope.h) through the helper interface the driver lends it.
#pragma once

#include <windows.h>

#include "module/plugin_module.h"
#include "platform/oemps.h"
#include "render/job_envelope.h"

namespace pinprint::render {

// What a job needs from its record, made by EnablePDEV and handed back by the driver in
// DEVOBJ.pdevOEM until DisablePDEV. Each job has its own.
struct RenderPdev : RuntimeAllocated {
    JobEnvelope envelope;
    // Where a secure job's stream stands: only between the envelope's head and its tail may the
    // driver write, so any other order fails the job rather than send bytes outside the hold.
    enum class Stream { BeforeHead, Inside, AfterTail } stream = Stream::BeforeHead;
};

class RenderObject final : public IPrintOemPS, public RuntimeAllocated {
  public:
    RenderObject();
    RenderObject(const RenderObject&) = delete;
    RenderObject& operator=(const RenderObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPrintOemCommon
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                                      PDWORD pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;

    // IPrintOemEngine
    HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize,
                                           struct _DRVENABLEDATA* pded) override;
    HRESULT STDMETHODCALLTYPE DisableDriver() override;
    HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                                         HANDLE* phsurfPatterns, ULONG cjGdiInfo,
                                         struct _GDIINFO* pGdiInfo, ULONG cjDevInfo,
                                         struct _DEVINFO* pDevInfo, struct _DRVENABLEDATA* pded,
                                         PDEVOEM* pDevOem) override;
    HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) override;
    HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) override;

    // IPrintOemPS
    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDMETHODCALLTYPE Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pData, DWORD cbSize,
                                      DWORD* pdwResult) override;

  private:
    ~RenderObject();
    // The helper's DrvWriteSpoolBuf; E_FAIL when there is no helper.
    HRESULT Write(PDEVOBJ pdevobj, const char* bytes, size_t length, DWORD* written) const;

    volatile LONG refCount_;
    // The first helper the driver offered that can write to the spooler, one reference held
    // until the object ends: IPrintCorePS2 (`coreHelper_`) or IPrintOemDriverPS. Published once,
    // as the driver loads the plug-in, before any job.
    IUnknown* helper_;
    bool coreHelper_;
};

}  // namespace pinprint::render
