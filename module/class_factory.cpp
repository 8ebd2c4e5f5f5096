#include <new>

#include "module/plugin_module.h"

namespace pinprint {

ClassFactory::ClassFactory() : refCount_(1) {
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
    auto* object = new (std::nothrow) PluginObject();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    // A refused interface destroys the new object with this Release.
    const HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    ChangeServerLock(fLock != FALSE);
    return S_OK;
}

}  // namespace pinprint
