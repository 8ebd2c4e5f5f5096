#include "support/test_support.h"

#include "platform/proc_address.h"

namespace pinprint::test {

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    const size_t slash = result.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : result.substr(0, slash + 1);
}

std::wstring BinPath(const wchar_t* fileName) {
    return BinDirectory() + fileName;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LoadedPlugin::LoadedPlugin() : module_(LoadLibraryW(BinPath(L"pinprintui.dll").c_str())) {}

LoadedPlugin::~LoadedPlugin() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

HRESULT LoadedPlugin::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto fn = ProcAddress<Fn>(module_, "DllGetClassObject");
    return fn ? fn(clsid, iid, ppv) : E_UNEXPECTED;
}

HRESULT LoadedPlugin::CanUnloadNow() const {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    auto fn = ProcAddress<Fn>(module_, "DllCanUnloadNow");
    return fn ? fn() : E_UNEXPECTED;
}

IPrintOemUI* LoadedPlugin::CreatePlugin() const {
    IClassFactory* factory = nullptr;
    if (FAILED(
            GetClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        return nullptr;
    }
    IPrintOemUI* plugin = nullptr;
    const HRESULT hr =
        factory->CreateInstance(nullptr, IID_IPrintOemUI, reinterpret_cast<void**>(&plugin));
    factory->Release();
    return SUCCEEDED(hr) ? plugin : nullptr;
}

}  // namespace pinprint::test
