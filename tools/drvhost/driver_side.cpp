#include "driver_side.h"

#include <algorithm>
#include <cstring>

#include "platform/proc_address.h"

namespace drvhost {

namespace {

// The call whose entry ran last; the stand-in callback records there.
SheetCall* activeCall = nullptr;

}  // namespace

PluginModule::~PluginModule() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

HRESULT PluginModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto fn = pinprint::ProcAddress<Fn>(module_, "DllGetClassObject");
    return fn != nullptr ? fn(clsid, iid, ppv) : E_UNEXPECTED;
}

HRESULT CanUnloadNow(HMODULE module) {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    const auto fn = pinprint::ProcAddress<Fn>(module, "DllCanUnloadNow");
    return fn != nullptr ? fn() : E_UNEXPECTED;
}

IUnknown* CreatePluginObject(HMODULE module, REFIID iid, HRESULT* result, REFCLSID clsid) {
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = pinprint::ProcAddress<Fn>(module, "DllGetClassObject");
    IClassFactory* factory = nullptr;
    IUnknown* object = nullptr;
    HRESULT hr = getClassObject == nullptr
                     ? E_UNEXPECTED
                     : getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
        factory->Release();
    }
    if (result != nullptr) {
        *result = hr;
    }
    return SUCCEEDED(hr) ? object : nullptr;
}

DriverHeap::DriverHeap(SIZE_T maximum) : heap_(HeapCreate(0, 0, maximum)) {}

DriverHeap::~DriverHeap() {
    if (heap_ != nullptr) {
        HeapDestroy(heap_);
    }
}

int DriverHeap::BusyBlocks() const {
    int count = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap_);
    while (HeapWalk(heap_, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++count;
        }
    }
    HeapUnlock(heap_);
    return count;
}

bool DriverHeap::Exhaust(SIZE_T size) {
    for (SIZE_T block = 4096; block >= 8;) {
        if (HeapAlloc(heap_, 0, block) == nullptr) {
            block /= 2;
        }
    }
    return HeapAlloc(heap_, HEAP_ZERO_MEMORY, size) == nullptr;
}

HRESULT DriverHelper::QueryInterface(REFIID riid, void** ppv) {
    ++queries;
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (answers_ && (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemDriverUI))) {
        *ppv = static_cast<IPrintOemDriverUI*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT DriverHelper::DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) {
    ++helperCalls;
    return E_NOTIMPL;
}

HRESULT DriverHelper::DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) {
    ++helperCalls;
    return E_NOTIMPL;
}

HRESULT DriverHelper::DrvUpdateUISetting(PVOID, PVOID, DWORD, DWORD) {
    ++helperCalls;
    return E_NOTIMPL;
}

HRESULT SpoolHelper::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    const bool core = offers_ == Offers::Both || offers_ == Offers::CoreOnly;
    const bool older = offers_ == Offers::Both || offers_ == Offers::OlderOnly;
    *ppv = nullptr;
    if ((core && IsEqualIID(riid, IID_IPrintCorePS2)) || IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IPrintCorePS2*>(this);
    } else if (older && IsEqualIID(riid, IID_IPrintOemDriverPS)) {
        *ppv = static_cast<IPrintOemDriverPS*>(this);
    }
    if (*ppv == nullptr) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT SpoolHelper::DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                      DWORD* pdwResult) {
    const LONG write = InterlockedIncrement(&writes);
    if (pdevobj == nullptr || pdwResult == nullptr || (cbSize != 0 && pBuffer == nullptr)) {
        return E_FAIL;
    }
    *pdwResult = 0;
    if (failFrom != 0 && write >= failFrom) {
        return E_FAIL;
    }
    const DWORD taken = cbSize > shortBy ? cbSize - shortBy : 0;
    reinterpret_cast<DriverJob*>(pdevobj)->stream.append(static_cast<const char*>(pBuffer), taken);
    *pdwResult = taken;
    return S_OK;
}

bool DefaultDevmode(IPrintOemCommon* plugin, std::vector<BYTE>& block, DWORD* privateSize) {
    OEMDMPARAM param = {};
    param.cbSize = sizeof(param);
    if (plugin == nullptr || plugin->DevMode(OEMDM_SIZE, &param) != S_OK) {
        return false;
    }
    const DWORD size = param.cbBufSize;
    if (privateSize != nullptr) {
        *privateSize = size;
    }
    block.assign(sizeof(DEVMODEW) + size, 0);
    auto* pub = reinterpret_cast<DEVMODEW*>(block.data());
    lstrcpynW(pub->dmDeviceName, L"PinPrint Secure PS", CCHDEVICENAME);
    pub->dmSpecVersion = DM_SPECVERSION;
    pub->dmSize = sizeof(DEVMODEW);
    pub->dmDriverExtra = static_cast<WORD>(size);
    pub->dmFields = DM_COPIES | DM_ORIENTATION;
    pub->dmCopies = 1;
    pub->dmOrientation = DMORIENT_PORTRAIT;
    param.pPublicDMIn = pub;
    param.pOEMDMOut = block.data() + sizeof(DEVMODEW);
    return plugin->DevMode(OEMDM_DEFAULT, &param) == S_OK;
}

HRESULT MergeDevmode(IPrintOemCommon* plugin, std::vector<BYTE>& devmode, const void* privateIn) {
    if (plugin == nullptr || devmode.size() < sizeof(DEVMODEW)) {
        return E_INVALIDARG;
    }
    auto* pub = reinterpret_cast<DEVMODEW*>(devmode.data());
    OEMDMPARAM param = {};
    param.cbSize = sizeof(param);
    param.pPublicDMIn = pub;
    param.pPublicDMOut = pub;
    param.pOEMDMIn = const_cast<void*>(privateIn);
    param.pOEMDMOut = devmode.data() + sizeof(DEVMODEW);
    param.cbBufSize = static_cast<DWORD>(devmode.size() - sizeof(DEVMODEW));
    return plugin->DevMode(OEMDM_MERGE, &param);
}

OEMUIPSPARAM DriverParameters(HANDLE printer, const wchar_t* printerName, HMODULE module,
                              HANDLE heap, BYTE* devmode, DWORD flags) {
    OEMUIPSPARAM param = {};
    param.cbSize = sizeof(param);
    param.hPrinter = printer;
    param.pPrinterName = const_cast<PWSTR>(printerName);
    param.hModule = module;
    param.hOEMHeap = heap;
    if (devmode != nullptr) {
        param.pPublicDM = reinterpret_cast<DEVMODEW*>(devmode);
        param.pOEMDM = devmode + sizeof(DEVMODEW);
    }
    param.dwFlags = flags;
    return param;
}

SheetCall::SheetCall(const OEMUIPSPARAM& parameters, HANDLE sheet) : param(parameters) {
    info.cbSize = sizeof(info);
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.hComPropSheet = sheet;
    info.pfnComPropSheet = Service;
    info.lParamInit = reinterpret_cast<LPARAM>(&param);
}

SheetCall::SheetCall(const SheetCall& other)
    : param(other.param), info(other.info), service(other.service) {
    if (other.info.lParamInit == reinterpret_cast<LPARAM>(&other.param)) {
        info.lParamInit = reinterpret_cast<LPARAM>(&param);
    }
}

SheetCall::~SheetCall() {
    if (activeCall == this) {
        activeCall = nullptr;
    }
}

HRESULT SheetCall::Run(Entry entry, WORD reason, LPARAM lParam) {
    activeCall = this;
    info.Reason = reason;
    return entry(&info, lParam);
}

HRESULT SheetCall::Run(IPrintOemUI* plugin, SheetKind kind, WORD reason, LPARAM lParam) {
    activeCall = this;
    info.Reason = reason;
    return kind == SheetKind::Document ? plugin->DocumentPropertySheets(&info, lParam)
                                       : plugin->DevicePropertySheets(&info, lParam);
}

LONG_PTR CALLBACK SheetCall::Service(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
    if (activeCall == nullptr) {
        return 0;
    }
    SheetService& service = activeCall->service;
    ++service.calls;
    service.sheet = sheet;
    service.function = function;
    service.lParam2 = lParam2;
    if (function == CPSFUNC_ADD_PROPSHEETPAGEW) {
        service.page = {};
        if (const auto* page = reinterpret_cast<const pinprint::PropSheetPageFull*>(lParam1)) {
            memcpy(&service.page, page, std::min<size_t>(page->dwSize, sizeof(service.page)));
            ++service.pagesAdded;
        }
        return service.pageAnswer;
    }
    if (function == CPSFUNC_SET_RESULT && lParam2 == CPSUI_OK) {
        ++service.okResults;
    }
    return 0;  // what Wine's compstui answers to CPSFUNC_SET_RESULT
}

}  // namespace drvhost
