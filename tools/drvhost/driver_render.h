// The PostScript driver's rendering side, for drvhost print, the tests and the bench: what the
// driver's graphics DLL does around a rendering plug-in, since Wine has no PostScript driver.
// It loads the plug-in in the driver's order, merges the job's devmode through it, lends it a
// job's DEVOBJ and the helper that writes to the job's stream (driver_side.h), and writes a
// DSC-conforming PostScript document of its own, asking the plug-in at every injection point in
// stream order.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "driver_side.h"
#include "platform/oemps.h"

namespace drvhost {

// What the plug-in answered while it was loaded.
struct RenderLoad {
    HRESULT newestInterface = E_FAIL;  // QueryInterface for IPrintOemPS2
    HRESULT coreOffered = E_FAIL;      // PublishDriverInterface with IPrintCorePS2
    HRESULT olderOffered = S_FALSE;    // with IPrintOemDriverPS, when the first was refused
    DWORD signature = 0;
    DWORD version = 0;
};

class RenderDriver {
  public:
    explicit RenderDriver(SpoolHelper::Offers offers = SpoolHelper::Offers::Both)
        : helper_(offers) {}
    ~RenderDriver();
    RenderDriver(const RenderDriver&) = delete;
    RenderDriver& operator=(const RenderDriver&) = delete;

    // Loads the plug-in at `dllPath` as the driver does: DllGetClassObject(CLSID_OEMRENDER),
    // CreateInstance(IID_IUnknown), QueryInterface for IPrintOemPS2 and then IPrintOemPS,
    // PublishDriverInterface with IPrintCorePS2 and, when refused, IPrintOemDriverPS, then
    // GetInfo. False with a one-line reason.
    bool Load(const std::wstring& dllPath, std::wstring& reason);
    IPrintOemPS* plugin() const { return plugin_; }
    HMODULE module() const { return module_ ? module_->module() : nullptr; }
    SpoolHelper& helper() { return helper_; }
    const RenderLoad& load() const { return load_; }

  private:
    std::unique_ptr<PluginModule> module_;  // released last, after the plug-in
    IPrintOemPS* plugin_ = nullptr;
    SpoolHelper helper_;
    RenderLoad load_;
};

// One injection point the driver asked the plug-in about.
struct Injection {
    DWORD index;
    HRESULT hr;
    DWORD result;  // *pdwResult
    size_t bytes;  // what it added to the stream
};

// A document as the host prints it: its title, its date and the lines drawn on every page.
struct PrintDocument {
    std::string title;
    std::string date;
    std::vector<std::string> lines;
    int pages = 1;
};

// Writes `document` into `job.stream` as a DSC-conforming PostScript job, calling `plugin`'s
// Command at each injection point in stream order (none with a null `plugin`: a driver without
// a rendering plug-in). Where the plug-in may replace one of the driver's comments, the
// driver's is left out when the plug-in wrote. The first call that fails ends the job there, as
// the driver aborts it; false then. `injections`, when given, receives every call.
bool WritePostScriptJob(IPrintOemPS* plugin, DriverJob& job, const PrintDocument& document,
                        std::vector<Injection>* injections = nullptr);

// EnablePDEV of `plugin` for `job`, its DEVOBJ pointed at `devmode` (a public devmode with the
// private block behind it), `printer` and the plug-in's `module`; the PDEV kept in the DEVOBJ.
HRESULT StartJob(IPrintOemPS* plugin, DriverJob& job, std::vector<BYTE>& devmode,
                 HANDLE printer = nullptr, HMODULE module = nullptr);
// DisablePDEV; the DEVOBJ keeps no PDEV after it.
HRESULT EndJob(IPrintOemPS* plugin, DriverJob& job);

// A whole job as the driver prints it: StartJob, WritePostScriptJob, EndJob. Nothing is written
// when the job does not start.
struct JobResult {
    HRESULT started;
    DWORD error;  // the last error when the job did not start
    bool written;
    HRESULT ended;
};
JobResult PrintJob(IPrintOemPS* plugin, DriverJob& job, std::vector<BYTE> devmode,
                   const PrintDocument& document, std::vector<Injection>* injections = nullptr,
                   HANDLE printer = nullptr, HMODULE module = nullptr);

// "PSINJECT_BEGINSTREAM", ...
const char* InjectionName(DWORD index);

}  // namespace drvhost
