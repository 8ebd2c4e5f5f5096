// GetInfo and DevMode as both plug-ins answer them: the reference asks a rendering plug-in that
// shares a UI plug-in's private devmode to answer DevMode with identical code, so both objects
// call these.
#include "devmode/private_devmode.h"
#include "module/plugin_module.h"

namespace pinprint {

HRESULT AnswerGetInfo(InfoFlavor flavor, DWORD dwMode, PVOID pBuffer, DWORD cbSize,
                      PDWORD pcbNeeded) {
    if (pcbNeeded == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // The rendering plug-in publishes nothing and asks for no helper beyond the one it is given.
    if (flavor == InfoFlavor::Rendering &&
        (dwMode == OEMGI_GETPUBLISHERINFO || dwMode == OEMGI_GETREQUESTEDHELPERINTERFACES)) {
        return E_NOTIMPL;
    }
    if (dwMode != OEMGI_GETSIGNATURE && dwMode != OEMGI_GETVERSION &&
        dwMode != OEMGI_GETPUBLISHERINFO) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    *pcbNeeded = sizeof(DWORD);
    if (cbSize < sizeof(DWORD) || pBuffer == nullptr) {
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    switch (dwMode) {
        case OEMGI_GETSIGNATURE:
            *static_cast<DWORD*>(pBuffer) = kPluginSignature;
            return S_OK;
        case OEMGI_GETVERSION:
            *static_cast<DWORD*>(pBuffer) = kPluginVersion;
            return S_OK;
        default:  // OEMGI_GETPUBLISHERINFO: nothing to publish
            *pcbNeeded = 0;
            return FailWith(ERROR_NOT_SUPPORTED);
    }
}

HRESULT AnswerDevMode(DWORD dwMode, POEMDMPARAM p) {
    if (p == nullptr || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (dwMode == OEMDM_SIZE) {
        p->cbBufSize = kPrivateDevmodeSize;
        return S_OK;
    }
    auto* out = static_cast<PrivateDevmode*>(p->pOEMDMOut);
    // The driver says how large the block it hands us is; never write a record into less.
    if (out != nullptr && p->cbBufSize < kPrivateDevmodeSize) {
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    }
    switch (dwMode) {
        case OEMDM_DEFAULT:
            if (out == nullptr) {
                return FailWith(ERROR_INVALID_PARAMETER);
            }
            DefaultPrivateDevmode(out);
            return S_OK;
        case OEMDM_CONVERT:
            ConvertPrivateDevmode(p->pOEMDMIn, out);
            return S_OK;
        default: {  // OEMDM_MERGE
            if (out == nullptr) {
                return FailWith(ERROR_INVALID_PARAMETER);
            }
            // A secure job must print one copy; without a public devmode that cannot be forced.
            int16_t* copies = p->pPublicDMOut ? &p->pPublicDMOut->dmCopies : nullptr;
            if (copies == nullptr && PrivateDevmodeRequestsSecure(p->pOEMDMIn)) {
                return FailWith(ERROR_INVALID_PARAMETER);
            }
            MergePrivateDevmode(p->pOEMDMIn, out, copies);
            return S_OK;
        }
    }
}

}  // namespace pinprint
