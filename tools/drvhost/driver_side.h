// What the PostScript driver lends the plug-ins, in one place for the driver host, the tests and
// the benchmarks: its heap, the devmode it keeps, the parameters it hands the sheet entries
// (OEMUIPSPARAM), and, where the entries are called without compstui, one sheet's
// PROPSHEETUI_INFO with a stand-in for compstui's callback; for the rendering plug-in, a job's
// DEVOBJ and spool stream and the helper interfaces that write to it.
#pragma once

#include <windows.h>
#include <compstui.h>

#include <string>
#include <vector>

#include "platform/oemps.h"
#include "platform/oemui.h"
#include "platform/property_sheet_page.h"

namespace drvhost {

enum class SheetKind { Document, Device };

// The plug-in object of a loaded plug-in DLL, made as the driver makes it: DllGetClassObject
// for `clsid` (the UI plug-in's class, or CLSID_OEMRENDER for the rendering plug-in), then
// CreateInstance for `iid` (IID_IUnknown when the driver then asks the object for its
// interfaces). Null when it cannot be had; `result` tells why.
IUnknown* CreatePluginObject(HMODULE module, REFIID iid, HRESULT* result = nullptr,
                             REFCLSID clsid = CLSID_OEMUI);
// The same for IPrintOemUI, as the driver makes the plug-in for its sheets and devmodes.
inline IPrintOemUI* CreatePlugin(HMODULE module, HRESULT* result = nullptr) {
    return static_cast<IPrintOemUI*>(CreatePluginObject(module, IID_IPrintOemUI, result));
}
// The DLL's DllCanUnloadNow; E_UNEXPECTED when it exports none.
HRESULT CanUnloadNow(HMODULE module);

// A plug-in DLL loaded as the driver loads it (LoadLibraryW), freed at scope end.
class PluginModule {
  public:
    explicit PluginModule(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    HMODULE module() const { return module_; }
    // The DLL's DllGetClassObject; E_UNEXPECTED when it exports none.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const;
    HRESULT CanUnloadNow() const { return drvhost::CanUnloadNow(module_); }
    IPrintOemUI* CreatePlugin(HRESULT* result = nullptr) const {
        return drvhost::CreatePlugin(module_, result);
    }

  private:
    HMODULE module_;
};

// The heap the driver lends the plug-in (OEMUIPSPARAM.hOEMHeap): one of its own, so that what
// the plug-in leaves on it can be counted. `maximum` 0 lets it grow.
class DriverHeap {
  public:
    explicit DriverHeap(SIZE_T maximum = 0);
    ~DriverHeap();
    DriverHeap(const DriverHeap&) = delete;
    DriverHeap& operator=(const DriverHeap&) = delete;

    HANDLE get() const { return heap_; }
    // Blocks allocated and not yet freed.
    int BusyBlocks() const;
    // Fills a bounded heap until not even a small block fits; true when it then refuses `size`
    // bytes.
    bool Exhaust(SIZE_T size);

  private:
    HANDLE heap_;
};

// The driver's helper interface handed to PublishDriverInterface. It counts its references and
// the questions it is asked; the helpers themselves answer E_NOTIMPL and are counted, since the
// plug-in never calls them. One that does not answer refuses every interface.
class DriverHelper final : public IPrintOemDriverUI {
  public:
    explicit DriverHelper(bool answers = true) : answers_(answers) {}
    DriverHelper(const DriverHelper&) = delete;
    DriverHelper& operator=(const DriverHelper&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD,
                                                  PDWORD) override;
    HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override;
    HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID, PVOID, DWORD, DWORD) override;

    LONG refs = 1;  // its owner's
    int queries = 0;
    int helperCalls = 0;

  private:
    bool answers_;
};

// One job as the driver's rendering side keeps it: the DEVOBJ it hands the rendering plug-in
// (first, so that the helper finds the job from the pointer the plug-in gives back, as the
// driver finds its own PDEV) and the spool stream of the job, which the driver's own bytes and
// the plug-in's writes go to alike.
struct DriverJob {
    DriverJob() { devobj.dwSize = sizeof(devobj); }
    DEVOBJ devobj = {};
    std::string stream;
};

// The driver's helper interfaces for a rendering plug-in, IPrintCorePS2 and the older
// IPrintOemDriverPS, in one object. DrvWriteSpoolBuf appends to the DriverJob whose DEVOBJ it is
// handed; it counts its references and writes, and can be made to fail or write short.
class SpoolHelper final : public IPrintCorePS2, public IPrintOemDriverPS {
  public:
    // Which of the two the object answers QueryInterface for.
    enum class Offers { Both, CoreOnly, OlderOnly, Neither };
    explicit SpoolHelper(Offers offers = Offers::Both) : offers_(offers) {}
    SpoolHelper(const SpoolHelper&) = delete;
    SpoolHelper& operator=(const SpoolHelper&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs); }
    // Both interfaces' DrvWriteSpoolBuf.
    HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                               DWORD* pdwResult) override;
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD,
                                                  PDWORD) override {
        return E_NOTIMPL;
    }

    LONG refs = 1;  // its owner's
    volatile LONG writes = 0;
    // From the write of this number on (counted from 1), writes fail, writing nothing; 0 never.
    LONG failFrom = 0;
    // Every write takes this many bytes fewer than it is given, and says so.
    DWORD shortBy = 0;

  private:
    Offers offers_;
};

// The devmode the driver keeps for a printer: a public DEVMODEW and, right behind it, the
// plug-in's private block, sized with OEMDM_SIZE and filled with OEMDM_DEFAULT, by either
// plug-in. False when the
// plug-in refuses either; `privateSize` (when given) receives the private block's size.
bool DefaultDevmode(IPrintOemCommon* plugin, std::vector<BYTE>& block,
                    DWORD* privateSize = nullptr);

// OEMDM_MERGE by `plugin` of `privateIn` into the private block of `devmode` (a block as
// DefaultDevmode makes it, whose public devmode goes in and out), as the driver merges a job's
// record before the job is printed.
HRESULT MergeDevmode(IPrintOemCommon* plugin, std::vector<BYTE>& devmode, const void* privateIn);

// The parameters the driver hands the sheet entries, filled as the PostScript driver fills
// them. `devmode` is a block as DefaultDevmode makes it, or null for none; it and `printerName`
// must outlive the record.
OEMUIPSPARAM DriverParameters(HANDLE printer, const wchar_t* printerName, HMODULE module,
                              HANDLE heap, BYTE* devmode = nullptr, DWORD flags = 0);

// What compstui's stand-in was asked and what it answers.
struct SheetService {
    int calls = 0;
    HANDLE sheet = nullptr;  // the last call's
    UINT function = 0;
    LPARAM lParam2 = -1;
    pinprint::PropSheetPageFull page = {};  // the last page added
    int pagesAdded = 0;
    int okResults = 0;                 // CPSFUNC_SET_RESULT with CPSUI_OK
    LONG_PTR pageAnswer = 0x43440002;  // what adding a page answers: the page's handle
};

// One sheet's PROPSHEETUI_INFO as compstui keeps it from INIT to DESTROY (version 0x100,
// lParamInit pointing at the driver's parameters), for calling the plug-in's sheet entries
// without compstui. Its callback is a stand-in that records into `service` of the call that
// last ran an entry, which is the one a page reports its result to.
class SheetCall {
  public:
    using Entry = HRESULT (*)(PPROPSHEETUI_INFO, LPARAM);

    explicit SheetCall(const OEMUIPSPARAM& parameters,
                       HANDLE sheet = reinterpret_cast<HANDLE>(0x43440001));
    // A copy points at its own parameters.
    SheetCall(const SheetCall& other);
    SheetCall& operator=(const SheetCall&) = delete;
    ~SheetCall();

    HRESULT Run(Entry entry, WORD reason, LPARAM lParam = 0);
    HRESULT Run(IPrintOemUI* plugin, SheetKind kind, WORD reason, LPARAM lParam = 0);
    // What INIT left in UserData: the plug-in's sheet context.
    template <typename Context>
    Context* context() const {
        return reinterpret_cast<Context*>(info.UserData);
    }

    OEMUIPSPARAM param;
    PROPSHEETUI_INFO info = {};
    SheetService service;

  private:
    static LONG_PTR CALLBACK Service(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2);
};

}  // namespace drvhost
