// The PrintTicket side of the printer-driver plug-in contract, which the MinGW-w64 headers lack:
// IPrintOemPrintTicketProvider, its binding option and its result codes, and the MSXML 6 class
// that a host needs to build the documents the driver hands the provider.
//
// Each method's parameters and results are as the platform's reference pages give them. The
// pages list the methods alphabetically and give no slot order; the slots below follow the
// order in which the driver uses them (versions and binding when a queue is opened, then the
// two conversions, the capabilities, and validation, intent expansion before it), the same
// order the sibling IPrintTicketProvider publishes for its slots.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>

// What BindPrinter asks of the driver: OEMPT_DEFAULT keeps a binary copy of the plug-in's
// private devmode inside every ticket the driver makes from a devmode.
typedef enum tagOEMPTOPTS { OEMPT_DEFAULT, OEMPT_NOSNAPSHOT } OEMPTOPTS, *POEMPTOPTS;
static_assert(sizeof(OEMPTOPTS) == sizeof(INT));
static_assert(OEMPT_DEFAULT == 0 && OEMPT_NOSNAPSHOT == 1);

// Results of the PrintTicket calls (facility ITF). ValidatePrintTicket answers one of the two
// success codes, never S_OK; the format errors are those of the platform's PrintTicket API.
#define S_NO_CONFLICT ((HRESULT)0x00040001L)
#define S_CONFLICT_RESOLVED ((HRESULT)0x00040002L)
#define E_VERSION_NOT_SUPPORTED ((HRESULT)0x80040001L)
#ifndef E_PRINTTICKET_FORMAT
#define E_PRINTTICKET_FORMAT ((HRESULT)0x80040003L)
#endif
#ifndef E_PRINTCAPABILITIES_FORMAT
#define E_PRINTCAPABILITIES_FORMAT ((HRESULT)0x80040004L)
#endif

// {BCF5E011-F60A-49FF-AB2F-E06F4ABDF281}
extern "C" const IID IID_IPrintOemPrintTicketProvider;

struct IPrintOemPrintTicketProvider : public IUnknown {
    // Print Schema major versions, in an array the caller frees with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE GetSupportedVersions(HANDLE hPrinter, INT* ppVersions[],
                                                           INT* cVersions) = 0;
    // The printer handle stays the caller's; the namespace array comes from CoTaskMemAlloc, its
    // strings from SysAllocString.
    virtual HRESULT STDMETHODCALLTYPE BindPrinter(HANDLE hPrinter, INT version, POEMPTOPTS pOptions,
                                                  INT* cNamespaces, BSTR** ppNamespaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE PublishPrintTicketHelperInterface(IUnknown* pHelper) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDeviceDefaultNamespace(BSTR* pbstrNamespaceUri) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConvertPrintTicketToDevMode(IXMLDOMDocument2* pPrintTicket,
                                                                  ULONG cbDevmode,
                                                                  PDEVMODEW pDevmode,
                                                                  ULONG cbDrvPrivateSize,
                                                                  PVOID pPrivateDevmode) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    ConvertDevModeToPrintTicket(ULONG cbDevmode, PDEVMODEW pDevmode, ULONG cbDrvPrivateSize,
                                PVOID pPrivateDevmode, IXMLDOMDocument2* pPrintTicket) = 0;
    // pPrintTicket may be null: the capabilities are then those of the default settings.
    virtual HRESULT STDMETHODCALLTYPE
    CompletePrintCapabilities(IXMLDOMDocument2* pPrintTicket, IXMLDOMDocument2* pCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandIntentOptions(IXMLDOMDocument2* pPrintTicket) = 0;
    virtual HRESULT STDMETHODCALLTYPE ValidatePrintTicket(IXMLDOMDocument2* pPrintTicket) = 0;
};

#if defined(__MINGW32__)
// MinGW's msxml2.h declares the MSXML interfaces but not MSXML 6's document class, and its uuid
// library lacks IXMLDOMDocument2's identifier (Windows SDKs bring both in msxml6.h).
// {88D96A05-F192-11D4-A65F-0040963251E5}
extern "C" const CLSID CLSID_DOMDocument60;
// {2933BF95-7B36-11D2-B20E-00C04F983E60}, declared by msxml2.h.
extern "C" const IID IID_IXMLDOMDocument2;
#endif
