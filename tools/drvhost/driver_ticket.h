// The driver's side of the PrintTicket provider, for drvhost, the tests and the bench: what the
// PostScript driver's configuration module does around a plug-in's IPrintOemPrintTicketProvider,
// since Wine's prntvpt never loads a driver or a plug-in.
//
// The driver obtains the provider from the plug-in's class factory (CreateInstance for
// IUnknown, then QueryInterface), asks for its versions, binds it to the printer, and declares
// the namespaces it returns on the root of every document it hands over. It writes its own part
// of each document first (a few public features, and for OEMPT_DEFAULT a binary snapshot of the
// plug-in's private devmode in a namespace of its own), then calls the plug-in.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/oemui.h"
#include "platform/print_ticket_provider.h"
#include "driver_side.h"

namespace drvhost {

// The driver's own namespace, for its snapshot of the plug-in's private devmode.
inline constexpr wchar_t kDriverNamespace[] = L"http://schemas.pinprint.example/2024/drvhost";

// COM on this thread for the documents, as long as it lives.
class ComSession {
  public:
    ComSession() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComSession() {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;

  private:
    HRESULT hr_;
};

// An empty MSXML 6 document; null (and the error in *error) when MSXML 6 cannot be had.
IXMLDOMDocument2* CreateDocument(HRESULT* error = nullptr);

// A document released at scope end.
struct Document {
    Document() : d(CreateDocument()) {}
    ~Document() {
        if (d != nullptr) {
            d->Release();
        }
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    IXMLDOMDocument2* d;
};

// Parses `xml` (or the file `path`) into `document`. False with a one-line reason.
bool LoadXml(IXMLDOMDocument2* document, const std::wstring& xml, std::wstring& reason);
bool LoadXmlFile(IXMLDOMDocument2* document, const std::wstring& path, std::wstring& reason);

// The document as text, indented, with the text of any JobPasscodeString value masked and long
// texts (the driver's snapshot) shortened.
std::wstring DocumentText(IXMLDOMDocument2* document);

// "S_OK", "E_PRINTTICKET_FORMAT", ... or the number.
std::wstring ResultName(HRESULT hr);

class TicketDriver {
  public:
    TicketDriver() = default;
    ~TicketDriver();
    TicketDriver(const TicketDriver&) = delete;
    TicketDriver& operator=(const TicketDriver&) = delete;

    // Loads the plug-in at `dllPath` and obtains its provider and its UI interface as the
    // driver does, then GetSupportedVersions, BindPrinter(version 1) and
    // QueryDeviceDefaultNamespace. False with a one-line reason.
    bool Open(const std::wstring& dllPath, HANDLE printer, std::wstring& reason);

    IPrintOemPrintTicketProvider* provider() const { return provider_; }
    IPrintOemUI* ui() const { return ui_; }
    OEMPTOPTS options() const { return options_; }
    const std::vector<std::wstring>& namespaces() const { return namespaces_; }
    HRESULT bindResult() const { return bindResult_; }

    // The plug-in's default private devmode (OEMDM_SIZE, OEMDM_DEFAULT).
    bool DefaultPrivateDevmode(std::vector<BYTE>& block);

    // The driver's capabilities, then the plug-in's CompletePrintCapabilities.
    HRESULT Capabilities(IXMLDOMDocument2* document);
    // The driver's ticket for a devmode (its public part and, for OEMPT_DEFAULT, the snapshot),
    // then the plug-in's ConvertDevModeToPrintTicket.
    HRESULT DevmodeToTicket(const std::vector<BYTE>& privateDevmode, IXMLDOMDocument2* document);
    // The private devmode restored from the ticket's snapshot when it holds one (else left as
    // it is), then the plug-in's ConvertPrintTicketToDevMode.
    HRESULT TicketToDevmode(IXMLDOMDocument2* document, std::vector<BYTE>& privateDevmode);
    // The driver's validation order for the plug-in: ExpandIntentOptions, ValidatePrintTicket.
    HRESULT Validate(IXMLDOMDocument2* document);

  private:
    std::wstring Declarations() const;

    std::unique_ptr<PluginModule> module_;  // released last, after the interfaces
    IPrintOemPrintTicketProvider* provider_ = nullptr;
    IPrintOemUI* ui_ = nullptr;
    HANDLE printer_ = nullptr;
    OEMPTOPTS options_ = OEMPT_NOSNAPSHOT;
    HRESULT bindResult_ = E_FAIL;
    std::vector<std::wstring> namespaces_;
};

}  // namespace drvhost
