#include <new>

#include "module/plugin_module.h"

namespace pinprint {

ClassFactory::ClassFactory(ObjectMaker make) : refCount_(1), make_(make) {
    CountObjectIn();
}
ClassFactory::~ClassFactory() {
    CountObjectOut();
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG ClassFactory::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return make_(riid, ppv);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    ChangeServerLock(fLock != FALSE);
    return S_OK;
}

HRESULT ServeClassObject(REFCLSID rclsid, REFIID riid, void** ppv, REFCLSID served,
                         ObjectMaker make) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, served)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) ClassFactory(make);
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    // The caller keeps the only reference; a refused interface destroys the factory here.
    const HRESULT result = factory->QueryInterface(riid, ppv);
    factory->Release();
    return result;
}

HRESULT CanUnloadModule() {
    return (LiveObjectCount() != 0 || ServerLockCount() != 0) ? S_FALSE : S_OK;
}

}  // namespace pinprint
