#include "driver_render.h"

#include <cstdio>

namespace drvhost {
namespace {

// A PostScript string literal: the characters that would end it or escape, control characters
// and everything beyond ASCII written as octal escapes.
std::string PostScriptString(const std::string& text) {
    std::string out = "(";
    for (unsigned char c : text) {
        if (c == '(' || c == ')' || c == '\\' || c < 0x20 || c > 0x7E) {
            char escaped[5];
            snprintf(escaped, sizeof(escaped), "\\%03o", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + ")";
}

// The driver's stream, with the plug-in asked at each point.
class JobWriter {
  public:
    JobWriter(IPrintOemPS* plugin, DriverJob& job, std::vector<Injection>* injections)
        : plugin_(plugin), job_(job), injections_(injections) {}

    void Put(const std::string& text) {
        if (ok_) {
            job_.stream += text;
        }
    }
    // Asks the plug-in at `index`; true when it wrote.
    bool Ask(DWORD index) {
        if (!ok_ || plugin_ == nullptr) {
            return false;
        }
        const size_t before = job_.stream.size();
        DWORD result = ERROR_GEN_FAILURE;
        const HRESULT hr = plugin_->Command(&job_.devobj, index, nullptr, 0, &result);
        if (injections_ != nullptr) {
            injections_->push_back({index, hr, result, job_.stream.size() - before});
        }
        ok_ = SUCCEEDED(hr) && (result == ERROR_SUCCESS || result == ERROR_NOT_SUPPORTED);
        return ok_ && result == ERROR_SUCCESS;
    }
    // A comment of the driver's that the plug-in may write in its place.
    void Replaceable(DWORD index, const std::string& text) {
        if (!Ask(index)) {
            Put(text);
        }
    }
    bool ok() const { return ok_; }

  private:
    IPrintOemPS* plugin_;
    DriverJob& job_;
    std::vector<Injection>* injections_;
    bool ok_ = true;
};

}  // namespace

RenderDriver::~RenderDriver() {
    if (plugin_ != nullptr) {
        plugin_->Release();
    }
}

bool RenderDriver::Load(const std::wstring& dllPath, std::wstring& reason) {
    module_ = std::make_unique<PluginModule>(dllPath);
    if (module_->module() == nullptr) {
        reason = L"cannot load " + dllPath + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    HRESULT hr = S_OK;
    IUnknown* object = CreatePluginObject(module_->module(), IID_IUnknown, &hr, CLSID_OEMRENDER);
    if (object == nullptr) {
        reason = dllPath + L" gives no rendering plug-in object";
        return false;
    }
    void* newest = nullptr;
    load_.newestInterface = object->QueryInterface(IID_IPrintOemPS2, &newest);
    if (newest != nullptr) {
        static_cast<IUnknown*>(newest)->Release();  // never driven: the host knows IPrintOemPS
    }
    hr = object->QueryInterface(IID_IPrintOemPS, reinterpret_cast<void**>(&plugin_));
    object->Release();
    if (FAILED(hr)) {
        plugin_ = nullptr;
        reason = dllPath + L" does not answer IPrintOemPS";
        return false;
    }
    load_.coreOffered = plugin_->PublishDriverInterface(static_cast<IPrintCorePS2*>(&helper_));
    if (FAILED(load_.coreOffered)) {
        load_.olderOffered =
            plugin_->PublishDriverInterface(static_cast<IPrintOemDriverPS*>(&helper_));
    }
    DWORD needed = 0;
    if (FAILED(plugin_->GetInfo(OEMGI_GETSIGNATURE, &load_.signature, sizeof(DWORD), &needed)) ||
        FAILED(plugin_->GetInfo(OEMGI_GETVERSION, &load_.version, sizeof(DWORD), &needed))) {
        reason = L"GetInfo failed, error " + std::to_wstring(GetLastError());
        return false;
    }
    return true;
}

HRESULT StartJob(IPrintOemPS* plugin, DriverJob& job, std::vector<BYTE>& devmode, HANDLE printer,
                 HMODULE module) {
    job.devobj.hPrinter = printer;
    job.devobj.hOEM = module;
    job.devobj.pPublicDM = reinterpret_cast<DEVMODEW*>(devmode.data());
    job.devobj.pOEMDM = devmode.data() + sizeof(DEVMODEW);
    PDEVOEM pdev = nullptr;
    const HRESULT hr = plugin->EnablePDEV(&job.devobj, const_cast<PWSTR>(L"PinPrint"), 0, nullptr,
                                          0, nullptr, 0, nullptr, nullptr, &pdev);
    job.devobj.pdevOEM = SUCCEEDED(hr) ? pdev : nullptr;
    return hr;
}

HRESULT EndJob(IPrintOemPS* plugin, DriverJob& job) {
    const HRESULT hr = plugin->DisablePDEV(&job.devobj);
    job.devobj.pdevOEM = nullptr;
    return hr;
}

JobResult PrintJob(IPrintOemPS* plugin, DriverJob& job, std::vector<BYTE> devmode,
                   const PrintDocument& document, std::vector<Injection>* injections,
                   HANDLE printer, HMODULE module) {
    JobResult result = {StartJob(plugin, job, devmode, printer, module), GetLastError(), false,
                        E_FAIL};
    if (SUCCEEDED(result.started)) {
        result.written = WritePostScriptJob(plugin, job, document, injections);
        result.ended = EndJob(plugin, job);
    }
    job.devobj.pPublicDM = nullptr;  // the copy of the devmode ends here
    job.devobj.pOEMDM = nullptr;
    return result;
}

bool WritePostScriptJob(IPrintOemPS* plugin, DriverJob& job, const PrintDocument& document,
                        std::vector<Injection>* injections) {
    JobWriter w(plugin, job, injections);
    const std::string pages = std::to_string(document.pages);
    w.Ask(PSINJECT_BEGINSTREAM);
    w.Ask(PSINJECT_PSADOBE);
    w.Put("%!PS-Adobe-3.0\n%%Title: " + PostScriptString(document.title) +
          "\n%%Creator: (PinPrint driver host)\n%%CreationDate: " +
          PostScriptString(document.date) + "\n");
    w.Replaceable(PSINJECT_PAGES, "%%Pages: " + pages + "\n");
    w.Replaceable(PSINJECT_PAGEORDER, "%%PageOrder: Ascend\n");
    w.Replaceable(PSINJECT_ORIENTATION, "%%Orientation: Portrait\n");
    w.Replaceable(PSINJECT_BOUNDINGBOX, "%%BoundingBox: 0 0 612 792\n");
    w.Put("%%DocumentNeededResources: font Helvetica Helvetica-Bold\n");
    w.Ask(PSINJECT_DOCNEEDEDRES);
    w.Put("%%DocumentSuppliedResources: procset PinPrintHost 1.0 0\n");
    w.Ask(PSINJECT_DOCSUPPLIEDRES);
    w.Ask(PSINJECT_COMMENTS);
    w.Put("%%EndComments\n%%BeginDefaults\n");
    w.Ask(PSINJECT_BEGINDEFAULTS);
    w.Put("%%PageBoundingBox: 0 0 612 792\n");
    w.Ask(PSINJECT_ENDDEFAULTS);
    w.Put("%%EndDefaults\n%%BeginProlog\n");
    w.Ask(PSINJECT_BEGINPROLOG);
    w.Put(
        "%%BeginResource: procset PinPrintHost 1.0 0\n/L { moveto show } bind def\n"
        "%%EndResource\n");
    w.Ask(PSINJECT_ENDPROLOG);
    w.Put("%%EndProlog\n%%BeginSetup\n");
    w.Ask(PSINJECT_BEGINSETUP);
    w.Put(
        "%%IncludeResource: font Helvetica\n%%IncludeResource: font Helvetica-Bold\n"
        "<< /PageSize [612 792] >> setpagedevice\n");
    w.Ask(PSINJECT_ENDSETUP);
    w.Put("%%EndSetup\n");
    for (int page = 1; page <= document.pages; ++page) {
        const std::string number = std::to_string(page);
        w.Replaceable(PSINJECT_PAGENUMBER, "%%Page: " + number + " " + number + "\n");
        w.Put("%%BeginPageSetup\n");
        w.Ask(PSINJECT_BEGINPAGESETUP);
        w.Put("/pagesave save def\n");
        w.Ask(PSINJECT_ENDPAGESETUP);
        w.Put("%%EndPageSetup\n/Helvetica-Bold findfont 24 scalefont setfont\n" +
              PostScriptString(document.title) +
              " 72 700 L\n/Helvetica findfont 12 scalefont "
              "setfont\n");
        int y = 670;
        for (const std::string& line : document.lines) {
            w.Put(PostScriptString(line) + " 72 " + std::to_string(y) + " L\n");
            y -= 18;
        }
        w.Put(PostScriptString("Page " + number + " of " + pages) + " 72 " + std::to_string(y) +
              " L\n");
        w.Ask(PSINJECT_SHOWPAGE);
        w.Put("showpage\npagesave restore\n%%PageTrailer\n");
        w.Ask(PSINJECT_PAGETRAILER);
    }
    w.Put("%%Trailer\n");
    w.Ask(PSINJECT_TRAILER);
    w.Put("%%EOF\n");
    w.Ask(PSINJECT_EOF);
    w.Ask(PSINJECT_ENDSTREAM);
    return w.ok();
}

const char* InjectionName(DWORD index) {
    switch (index) {
#define PINPRINT_NAME(point) \
    case point:              \
        return #point;
        PINPRINT_NAME(PSINJECT_BEGINSTREAM)
        PINPRINT_NAME(PSINJECT_PSADOBE)
        PINPRINT_NAME(PSINJECT_PAGES)
        PINPRINT_NAME(PSINJECT_PAGEORDER)
        PINPRINT_NAME(PSINJECT_ORIENTATION)
        PINPRINT_NAME(PSINJECT_BOUNDINGBOX)
        PINPRINT_NAME(PSINJECT_DOCNEEDEDRES)
        PINPRINT_NAME(PSINJECT_DOCSUPPLIEDRES)
        PINPRINT_NAME(PSINJECT_COMMENTS)
        PINPRINT_NAME(PSINJECT_BEGINDEFAULTS)
        PINPRINT_NAME(PSINJECT_ENDDEFAULTS)
        PINPRINT_NAME(PSINJECT_BEGINPROLOG)
        PINPRINT_NAME(PSINJECT_ENDPROLOG)
        PINPRINT_NAME(PSINJECT_BEGINSETUP)
        PINPRINT_NAME(PSINJECT_ENDSETUP)
        PINPRINT_NAME(PSINJECT_PAGENUMBER)
        PINPRINT_NAME(PSINJECT_BEGINPAGESETUP)
        PINPRINT_NAME(PSINJECT_ENDPAGESETUP)
        PINPRINT_NAME(PSINJECT_SHOWPAGE)
        PINPRINT_NAME(PSINJECT_PAGETRAILER)
        PINPRINT_NAME(PSINJECT_TRAILER)
        PINPRINT_NAME(PSINJECT_EOF)
        PINPRINT_NAME(PSINJECT_ENDSTREAM)
#undef PINPRINT_NAME
        default:
            return "another point";
    }
}

}  // namespace drvhost
