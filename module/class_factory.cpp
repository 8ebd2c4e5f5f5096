#include <new>

#include "module/plugin_module.h"

namespace pinprint {
namespace {

// Factories and plug-in objects count themselves in and out, so that the module is never
// unloaded under a live object even when the driver holds no server lock.
volatile LONG g_liveObjects = 0;

}  // namespace

LONG LiveObjectCount() {
    return g_liveObjects;
}

void CountObjectIn() {
    InterlockedIncrement(&g_liveObjects);
}
void CountObjectOut() {
    InterlockedDecrement(&g_liveObjects);
}

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

}  // namespace pinprint
