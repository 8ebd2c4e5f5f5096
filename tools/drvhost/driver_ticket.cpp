#include "driver_ticket.h"

#include <wincrypt.h>

#include <cwchar>

namespace drvhost {
namespace {

constexpr wchar_t kPsf[] =
    L"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework";
constexpr wchar_t kSnapshot[] = L"PrivateDevmodeSnapshot";

// BSTR arguments for MSXML.
class Text {
  public:
    explicit Text(const std::wstring& text) : b_(SysAllocStringLen(text.data(), text.size())) {}
    ~Text() { SysFreeString(b_); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator BSTR() const { return b_; }

  private:
    BSTR b_;
};

std::wstring Base64(const BYTE* data, DWORD size) {
    DWORD chars = 0;
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    if (!CryptBinaryToStringW(data, size, flags, nullptr, &chars)) {
        return std::wstring();
    }
    std::wstring text(chars, L'\0');
    if (!CryptBinaryToStringW(data, size, flags, text.data(), &chars)) {
        return std::wstring();
    }
    text.resize(chars);
    return text;
}

std::wstring Header(const wchar_t* root, const std::wstring& declarations) {
    return std::wstring(L"<psf:") + root + L" xmlns:psf=\"" + kPsf +
           L"\" xmlns:psk=\"http://schemas.microsoft.com/windows/2003/08/printing/"
           L"printschemakeywords\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           L"xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"" +
           declarations + L" version=\"1\">";
}

std::wstring Value(const wchar_t* type, const std::wstring& text) {
    return std::wstring(L"<psf:Value xsi:type=\"xsd:") + type + L"\">" + text + L"</psf:Value>";
}

std::wstring Property(const wchar_t* name, const wchar_t* type, const std::wstring& text) {
    return std::wstring(L"<psf:Property name=\"") + name + L"\">" + Value(type, text) +
           L"</psf:Property>";
}

}  // namespace

IXMLDOMDocument2* CreateDocument(HRESULT* error) {
    IXMLDOMDocument2* document = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_DOMDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document));
    if (error != nullptr) {
        *error = hr;
    }
    if (SUCCEEDED(hr)) {
        document->put_async(VARIANT_FALSE);
        document->put_validateOnParse(VARIANT_FALSE);
        document->put_resolveExternals(VARIANT_FALSE);
    }
    return SUCCEEDED(hr) ? document : nullptr;
}

namespace {

bool ParseReason(IXMLDOMDocument2* document, std::wstring& reason) {
    IXMLDOMParseError* error = nullptr;
    reason = L"not XML";
    if (SUCCEEDED(document->get_parseError(&error)) && error != nullptr) {
        BSTR text = nullptr;
        long line = 0;
        error->get_reason(&text);
        error->get_line(&line);
        if (text != nullptr) {
            reason = L"not XML, line " + std::to_wstring(line) + L": " + text;
            while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) {
                reason.pop_back();
            }
        }
        SysFreeString(text);
        error->Release();
    }
    return false;
}

}  // namespace

bool LoadXml(IXMLDOMDocument2* document, const std::wstring& xml, std::wstring& reason) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(document->loadXML(Text(xml), &loaded)) && loaded == VARIANT_TRUE) {
        return true;
    }
    return ParseReason(document, reason);
}

bool LoadXmlFile(IXMLDOMDocument2* document, const std::wstring& path, std::wstring& reason) {
    const Text file(path);
    VARIANT source;
    source.vt = VT_BSTR;
    source.bstrVal = file;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(document->load(source, &loaded)) && loaded == VARIANT_TRUE) {
        return true;
    }
    return ParseReason(document, reason);
}

namespace {

// The start tag without the namespace declarations its parents already made (some DOMs repeat
// them on every element they create), and the declarations it adds to `scope`.
std::wstring WithoutRepeatedDeclarations(
    const std::wstring& tag, std::vector<std::pair<std::wstring, std::wstring>>& scope) {
    std::wstring out;
    size_t i = 0;
    while (i < tag.size()) {
        const size_t at = tag.find(L" xmlns", i);
        const size_t equals = at != std::wstring::npos ? tag.find(L"=\"", at) : at;
        const size_t end = equals != std::wstring::npos ? tag.find(L'"', equals + 2) : equals;
        if (end == std::wstring::npos) {
            out += tag.substr(i);
            break;
        }
        const std::wstring name = tag.substr(at + 1, equals - at - 1);
        const std::wstring uri = tag.substr(equals + 2, end - equals - 2);
        bool repeated = false;
        for (auto it = scope.rbegin(); it != scope.rend(); ++it) {
            if (it->first == name) {
                repeated = it->second == uri;
                break;
            }
        }
        out += tag.substr(i, at - i);
        if (!repeated) {
            out += tag.substr(at, end + 1 - at);
            scope.emplace_back(name, uri);
        }
        i = end + 1;
    }
    return out;
}

}  // namespace

std::wstring DocumentText(IXMLDOMDocument2* document) {
    BSTR xml = nullptr;
    if (FAILED(document->get_xml(&xml)) || xml == nullptr) {
        return std::wstring();
    }
    const std::wstring source(xml, SysStringLen(xml));
    SysFreeString(xml);
    // One element per line, two spaces a level; text stays with its element. Each open element
    // keeps how many declarations it made and whether its text is a passcode.
    struct Open {
        size_t declarations;
        bool masked;
    };
    std::vector<Open> open{{0, false}};
    std::vector<std::pair<std::wstring, std::wstring>> scope;
    std::wstring out;
    size_t i = 0;
    while (i < source.size()) {
        if (source[i] != L'<') {
            const size_t end = source.find(L'<', i);
            const std::wstring text = source.substr(i, end - i);
            if (text.find_first_not_of(L" \t\r\n") == std::wstring::npos) {
                // whitespace between elements
            } else if (open.back().masked) {
                out += L"****";
            } else if (text.size() > 96) {  // the driver's snapshot, for one
                out +=
                    text.substr(0, 32) + L"... (" + std::to_wstring(text.size()) + L" characters)";
            } else {
                out += text;
            }
            i = end;
            continue;
        }
        const size_t end = source.find(L'>', i);
        if (end == std::wstring::npos) {
            break;
        }
        const std::wstring tag = source.substr(i, end - i + 1);
        i = end + 1;
        if (tag.compare(0, 2, L"<?") == 0) {
            continue;
        }
        if (tag.compare(0, 2, L"</") == 0) {
            scope.resize(scope.size() - open.back().declarations);
            open.pop_back();
            if (!out.empty() && out.back() == L'\n') {
                out.append(2 * (open.size() - 1), L' ');
            }
            out += tag + L"\n";
            continue;
        }
        if (!out.empty() && out.back() != L'\n') {
            out += L"\n";
        }
        out.append(2 * (open.size() - 1), L' ');
        const size_t before = scope.size();
        out += WithoutRepeatedDeclarations(tag, scope);
        if (tag[tag.size() - 2] == L'/') {
            scope.resize(before);
            out += L"\n";
            continue;
        }
        const bool passcode = tag.find(L"ParameterInit") != std::wstring::npos &&
                              tag.find(L":JobPasscodeString\"") != std::wstring::npos;
        open.push_back({scope.size() - before, open.back().masked || passcode});
        const size_t next = source.find(L'<', i);
        if (next != std::wstring::npos && source.compare(next, 2, L"</") != 0) {
            out += L"\n";
        }
    }
    return out;
}

std::wstring ResultName(HRESULT hr) {
    static const struct {
        HRESULT hr;
        const wchar_t* name;
    } kNames[] = {{S_OK, L"S_OK"},
                  {S_FALSE, L"S_FALSE"},
                  {S_NO_CONFLICT, L"S_NO_CONFLICT"},
                  {S_CONFLICT_RESOLVED, L"S_CONFLICT_RESOLVED"},
                  {E_PRINTTICKET_FORMAT, L"E_PRINTTICKET_FORMAT"},
                  {E_PRINTCAPABILITIES_FORMAT, L"E_PRINTCAPABILITIES_FORMAT"},
                  {E_VERSION_NOT_SUPPORTED, L"E_VERSION_NOT_SUPPORTED"},
                  {E_NOTIMPL, L"E_NOTIMPL"},
                  {E_POINTER, L"E_POINTER"},
                  {E_INVALIDARG, L"E_INVALIDARG"},
                  {E_OUTOFMEMORY, L"E_OUTOFMEMORY"}};
    wchar_t number[16];
    swprintf(number, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    for (const auto& known : kNames) {
        if (known.hr == hr) {
            return std::wstring(number) + L" " + known.name;
        }
    }
    return number;
}

TicketDriver::~TicketDriver() {
    if (provider_ != nullptr) {
        provider_->Release();
    }
    if (ui_ != nullptr) {
        ui_->Release();
    }
}

bool TicketDriver::Open(const std::wstring& dllPath, HANDLE printer, std::wstring& reason) {
    printer_ = printer;
    module_ = std::make_unique<PluginModule>(dllPath);
    if (module_->module() == nullptr) {
        reason = L"cannot load " + dllPath + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    HRESULT hr = E_FAIL;
    IUnknown* object = CreatePluginObject(module_->module(), IID_IUnknown, &hr);
    if (object == nullptr) {
        reason = L"the plug-in object cannot be created (" + ResultName(hr) + L")";
        return false;
    }
    hr = object->QueryInterface(IID_IPrintOemPrintTicketProvider,
                                reinterpret_cast<void**>(&provider_));
    object->QueryInterface(IID_IPrintOemUI, reinterpret_cast<void**>(&ui_));
    object->Release();
    if (FAILED(hr) || ui_ == nullptr) {
        reason = L"the plug-in offers no PrintTicket provider (" + ResultName(hr) + L")";
        return false;
    }
    INT* versions = nullptr;
    INT count = 0;
    hr = provider_->GetSupportedVersions(printer, &versions, &count);
    bool one = false;
    for (INT i = 0; SUCCEEDED(hr) && i < count; ++i) {
        one = one || versions[i] == 1;
    }
    CoTaskMemFree(versions);
    if (!one) {
        reason = L"the provider does not offer Print Schema version 1 (" + ResultName(hr) + L")";
        return false;
    }
    BSTR* names = nullptr;
    INT named = 0;
    bindResult_ = provider_->BindPrinter(printer, 1, &options_, &named, &names);
    for (INT i = 0; SUCCEEDED(bindResult_) && i < named; ++i) {
        namespaces_.emplace_back(names[i], SysStringLen(names[i]));
        SysFreeString(names[i]);
    }
    CoTaskMemFree(names);
    if (FAILED(bindResult_)) {
        reason = L"BindPrinter failed (" + ResultName(bindResult_) + L")";
        return false;
    }
    BSTR defaultNamespace = nullptr;
    if (provider_->QueryDeviceDefaultNamespace(&defaultNamespace) == S_OK) {
        SysFreeString(defaultNamespace);
    }
    return true;
}

bool TicketDriver::DefaultPrivateDevmode(std::vector<BYTE>& block) {
    std::vector<BYTE> devmode;
    if (!DefaultDevmode(ui_, devmode)) {
        return false;
    }
    block.assign(devmode.begin() + sizeof(DEVMODEW), devmode.end());
    return true;
}

std::wstring TicketDriver::Declarations() const {
    std::wstring text = std::wstring(L" xmlns:ns0000=\"") + kDriverNamespace + L"\"";
    for (size_t i = 0; i < namespaces_.size(); ++i) {
        wchar_t prefix[16];
        swprintf(prefix, 16, L"ns%04zu", i + 1);
        text += std::wstring(L" xmlns:") + prefix + L"=\"" + namespaces_[i] + L"\"";
    }
    return text;
}

HRESULT TicketDriver::Capabilities(IXMLDOMDocument2* document) {
    const std::wstring xml =
        Header(L"PrintCapabilities", Declarations()) +
        L"<psf:Feature name=\"psk:PageOrientation\">" +
        Property(L"psf:SelectionType", L"QName", L"psk:PickOne") +
        L"<psf:Option name=\"psk:Portrait\"/><psf:Option name=\"psk:Landscape\"/></psf:Feature>"
        L"<psf:ParameterDef name=\"psk:JobCopiesAllDocuments\">" +
        Property(L"psf:DataType", L"QName", L"xsd:integer") +
        Property(L"psf:DefaultValue", L"integer", L"1") +
        Property(L"psf:MinValue", L"integer", L"1") +
        Property(L"psf:MaxValue", L"integer", L"999") +
        Property(L"psf:Mandatory", L"QName", L"psk:Unconditional") +
        Property(L"psf:UnitType", L"string", L"copies") +
        L"</psf:ParameterDef></psf:PrintCapabilities>";
    std::wstring reason;
    if (!LoadXml(document, xml, reason)) {
        return E_FAIL;
    }
    return provider_->CompletePrintCapabilities(nullptr, document);
}

HRESULT TicketDriver::DevmodeToTicket(const std::vector<BYTE>& privateDevmode,
                                      IXMLDOMDocument2* document) {
    std::wstring xml = Header(L"PrintTicket", Declarations()) +
                       L"<psf:Feature name=\"psk:PageOrientation\"><psf:Option "
                       L"name=\"psk:Portrait\"/></psf:Feature>"
                       L"<psf:ParameterInit name=\"psk:JobCopiesAllDocuments\">" +
                       Value(L"integer", L"1") + L"</psf:ParameterInit>";
    if (options_ == OEMPT_DEFAULT) {
        xml += std::wstring(L"<psf:ParameterInit name=\"ns0000:") + kSnapshot + L"\">" +
               Value(L"string",
                     Base64(privateDevmode.data(), static_cast<DWORD>(privateDevmode.size()))) +
               L"</psf:ParameterInit>";
    }
    xml += L"</psf:PrintTicket>";
    std::wstring reason;
    if (!LoadXml(document, xml, reason)) {
        return E_FAIL;
    }
    DEVMODEW publicDevmode = {};
    publicDevmode.dmSize = sizeof(publicDevmode);
    std::vector<BYTE> block(privateDevmode);
    return provider_->ConvertDevModeToPrintTicket(
        static_cast<ULONG>(sizeof(DEVMODEW) + block.size()), &publicDevmode,
        static_cast<ULONG>(block.size()), block.data(), document);
}

HRESULT TicketDriver::TicketToDevmode(IXMLDOMDocument2* document,
                                      std::vector<BYTE>& privateDevmode) {
    const Text property(L"SelectionNamespaces");
    VARIANT namespaces;
    namespaces.vt = VT_BSTR;
    namespaces.bstrVal = SysAllocString(
        (std::wstring(L"xmlns:psf='") + kPsf + L"' xmlns:drv='" + kDriverNamespace + L"'").c_str());
    document->setProperty(property, namespaces);
    VariantClear(&namespaces);
    IXMLDOMNode* value = nullptr;
    const Text query(
        std::wstring(L"/psf:PrintTicket/psf:ParameterInit[substring-after(@name,':')='") +
        kSnapshot + L"']/psf:Value");
    if (document->selectSingleNode(query, &value) == S_OK && value != nullptr) {
        BSTR text = nullptr;
        value->get_text(&text);
        std::vector<BYTE> snapshot(privateDevmode.size() + 3);
        DWORD size = static_cast<DWORD>(snapshot.size());
        if (text != nullptr &&
            CryptStringToBinaryW(text, 0, CRYPT_STRING_BASE64, snapshot.data(), &size, nullptr,
                                 nullptr) &&
            size == privateDevmode.size()) {
            privateDevmode.assign(snapshot.begin(), snapshot.begin() + size);
        }
        SysFreeString(text);
        value->Release();
    }
    DEVMODEW publicDevmode = {};
    publicDevmode.dmSize = sizeof(publicDevmode);
    return provider_->ConvertPrintTicketToDevMode(
        document, static_cast<ULONG>(sizeof(DEVMODEW) + privateDevmode.size()), &publicDevmode,
        static_cast<ULONG>(privateDevmode.size()), privateDevmode.data());
}

HRESULT TicketDriver::Validate(IXMLDOMDocument2* document) {
    const HRESULT hr = provider_->ExpandIntentOptions(document);
    return FAILED(hr) ? hr : provider_->ValidatePrintTicket(document);
}

}  // namespace drvhost
