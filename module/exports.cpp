// The two exports of the in-process server.
#include <windows.h>
#include <objbase.h>

#include <new>

#include "module/plugin_module.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_OEMUI)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) pinprint::ClassFactory();
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The caller keeps the only reference; a refused interface destroys the factory here.
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

STDAPI DllCanUnloadNow() {
    return (pinprint::LiveObjectCount() != 0 || pinprint::ServerLockCount() != 0) ? S_FALSE : S_OK;
}
