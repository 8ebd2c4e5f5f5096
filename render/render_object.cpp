#include "render/render_object.h"

#include <new>

namespace pinprint::render {

RenderObject::RenderObject() : refCount_(1), helper_(nullptr), coreHelper_(false) {
    CountObjectIn();
}

RenderObject::~RenderObject() {
    CountObjectOut();
}

HRESULT RenderObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemPS)) {
        *ppv = static_cast<IPrintOemPS*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG RenderObject::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG RenderObject::Release() {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
        if (helper_ != nullptr) {
            helper_->Release();
            helper_ = nullptr;
        }
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT RenderObject::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
    return AnswerGetInfo(InfoFlavor::Rendering, dwMode, pBuffer, cbSize, pcbNeeded);
}

HRESULT RenderObject::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    return AnswerDevMode(dwMode, pOemDMParam);
}

// The plug-in hooks no drawing function: the driver keeps every one of its own.
HRESULT RenderObject::EnableDriver(DWORD, DWORD, struct _DRVENABLEDATA*) {
    return E_NOTIMPL;
}

HRESULT RenderObject::DisableDriver() {
    return E_NOTIMPL;
}

// A job that cannot be held fails here, before the driver writes a byte of it.
HRESULT RenderObject::EnablePDEV(PDEVOBJ pdevobj, PWSTR, ULONG, HANDLE*, ULONG, struct _GDIINFO*,
                                 ULONG, struct _DEVINFO*, struct _DRVENABLEDATA*,
                                 PDEVOEM* pDevOem) {
    if (pDevOem == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    *pDevOem = nullptr;
    // Without the record nothing says whether the job was asked for as secure.
    if (pdevobj == nullptr || pdevobj->pOEMDM == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    auto* pdev = new (std::nothrow) RenderPdev;
    if (pdev == nullptr) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD refusal = ERROR_SUCCESS;
    switch (PrepareJobEnvelope(pdevobj->pOEMDM, pdev->envelope)) {
        case JobKind::Normal:
            break;
        case JobKind::Secure:
            refusal = helper_ == nullptr ? ERROR_NOT_SUPPORTED : ERROR_SUCCESS;
            break;
        case JobKind::NoDigest:
            refusal = ERROR_INVALID_DATA;
            break;
        case JobKind::NoName:
            refusal = ERROR_BAD_USERNAME;
            break;
    }
    if (refusal != ERROR_SUCCESS) {
        SecureZeroMemory(&pdev->envelope, sizeof(pdev->envelope));
        delete pdev;
        return FailWith(refusal);
    }
    *pDevOem = pdev;
    return S_OK;
}

HRESULT RenderObject::DisablePDEV(PDEVOBJ pdevobj) {
    if (pdevobj == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (auto* pdev = static_cast<RenderPdev*>(pdevobj->pdevOEM)) {
        SecureZeroMemory(&pdev->envelope, sizeof(pdev->envelope));  // the digest goes with it
        delete pdev;
    }
    return S_OK;
}

// The job goes on under its first record: its end always matches the start already written.
HRESULT RenderObject::ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) {
    if (pdevobjOld == nullptr || pdevobjNew == nullptr || pdevobjOld->pdevOEM == nullptr ||
        pdevobjNew->pdevOEM == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    auto* next = static_cast<RenderPdev*>(pdevobjNew->pdevOEM);
    const auto* previous = static_cast<const RenderPdev*>(pdevobjOld->pdevOEM);
    next->envelope = previous->envelope;
    next->stream = previous->stream;
    return S_OK;
}

// The driver offers IPrintCorePS2 first and, when that is refused, IPrintOemDriverPS.
HRESULT RenderObject::PublishDriverInterface(IUnknown* pIUnknown) {
    if (helper_ != nullptr) {
        return S_OK;
    }
    if (pIUnknown == nullptr) {
        return E_FAIL;
    }
    void* helper = nullptr;
    if (SUCCEEDED(pIUnknown->QueryInterface(IID_IPrintCorePS2, &helper)) && helper != nullptr) {
        coreHelper_ = true;
    } else if (SUCCEEDED(pIUnknown->QueryInterface(IID_IPrintOemDriverPS, &helper)) &&
               helper != nullptr) {
        coreHelper_ = false;
    } else {
        return E_FAIL;
    }
    helper_ = static_cast<IUnknown*>(helper);
    return S_OK;
}

HRESULT RenderObject::Command(PDEVOBJ pdevobj, DWORD dwIndex, PVOID, DWORD, DWORD* pdwResult) {
    if (pdwResult == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    auto* pdev = pdevobj != nullptr ? static_cast<RenderPdev*>(pdevobj->pdevOEM) : nullptr;
    if (pdev == nullptr) {
        *pdwResult = ERROR_INVALID_PARAMETER;
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    const JobEnvelope& envelope = pdev->envelope;
    if (envelope.beginLength == 0) {
        *pdwResult = ERROR_NOT_SUPPORTED;  // a normal job: the stream is the driver's alone
        return S_OK;
    }
    using Stream = RenderPdev::Stream;
    const char* bytes = nullptr;
    size_t length = 0;
    Stream expected = Stream::Inside;
    Stream next = Stream::Inside;
    if (dwIndex == PSINJECT_BEGINSTREAM) {
        bytes = envelope.begin;
        length = envelope.beginLength;
        expected = Stream::BeforeHead;
    } else if (dwIndex == PSINJECT_ENDSTREAM) {
        bytes = envelope.end;
        length = envelope.endLength;
        next = Stream::AfterTail;
    }
    // A point before the head or after the tail, or either end twice: the driver's bytes there
    // would reach the printer outside the hold, so the job is failed instead.
    if (pdev->stream != expected) {
        *pdwResult = ERROR_INVALID_STATE;
        return FailWith(ERROR_INVALID_STATE);
    }
    if (length == 0) {
        *pdwResult = ERROR_NOT_SUPPORTED;  // nothing added at this point
        return S_OK;
    }
    // A short or failed write aborts the job: a secure job never goes on without its envelope.
    DWORD written = 0;
    if (FAILED(Write(pdevobj, bytes, length, &written)) || written != length) {
        *pdwResult = ERROR_WRITE_FAULT;
        return FailWith(ERROR_WRITE_FAULT);
    }
    pdev->stream = next;
    *pdwResult = ERROR_SUCCESS;
    return S_OK;
}

HRESULT RenderObject::Write(PDEVOBJ pdevobj, const char* bytes, size_t length,
                            DWORD* written) const {
    auto* buffer = const_cast<char*>(bytes);
    const auto size = static_cast<DWORD>(length);
    if (helper_ == nullptr) {
        return E_FAIL;
    }
    return coreHelper_ ? static_cast<IPrintCorePS2*>(helper_)->DrvWriteSpoolBuf(pdevobj, buffer,
                                                                                size, written)
                       : static_cast<IPrintOemDriverPS*>(helper_)->DrvWriteSpoolBuf(pdevobj, buffer,
                                                                                    size, written);
}

}  // namespace pinprint::render
