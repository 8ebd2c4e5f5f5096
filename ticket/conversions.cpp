// Binding, the two conversions and validation.
#include <cstring>
#include <cwchar>

#include "config/driver_options.h"
#include "rules/pin_digest.h"
#include "ticket/print_schema.h"
#include "ticket/secure_job.h"
#include "ticket/ticket_provider.h"

namespace pinprint::ticket {
namespace {

// CryptoAPI reports NTE_* codes, which are HRESULTs already, and Win32 errors.
HRESULT FromDigestError(DWORD error) {
    if (error == 0) {
        return E_FAIL;
    }
    return (error & 0x80000000u) != 0 ? static_cast<HRESULT>(error) : HRESULT_FROM_WIN32(error);
}

// The record handed in, read only within its 652 bytes and brought to the record's invariants.
bool ReadRecord(ULONG size, const void* block, PrivateDevmode& record) {
    if (block == nullptr || size < kPrivateDevmodeSize) {
        return false;
    }
    memcpy(&record, block, kPrivateDevmodeSize);
    ValidatePrivateDevmode(&record);
    return true;
}

std::wstring_view FieldView(const char16_t* field) {
    const auto* text = reinterpret_cast<const wchar_t*>(field);
    return std::wstring_view(text, wcsnlen(text, kNameChars));
}

// A name field as the ticket may carry it: what the capabilities allow under the options word.
struct TicketName {
    TicketName(const char16_t* field, DWORD options) {
        bool changed = false;
        length = PageName(FieldView(field), options, text, changed);
    }
    std::wstring_view view() const { return std::wstring_view(text, length); }
    wchar_t text[kNameChars + 1];
    size_t length;
};

}  // namespace

HRESULT GetSupportedVersions(INT** versions, INT* count) {
    if (versions == nullptr || count == nullptr) {
        return E_POINTER;
    }
    *versions = static_cast<INT*>(CoTaskMemAlloc(sizeof(INT)));
    *count = *versions != nullptr ? 1 : 0;
    if (*versions == nullptr) {
        return E_OUTOFMEMORY;
    }
    (*versions)[0] = kSchemaVersion;
    return S_OK;
}

HRESULT BindPrinter(INT version, POEMPTOPTS options, INT* count, BSTR** namespaces) {
    if (options == nullptr || count == nullptr || namespaces == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    *namespaces = nullptr;
    if (version != kSchemaVersion) {
        return E_VERSION_NOT_SUPPORTED;
    }
    auto* list = static_cast<BSTR*>(CoTaskMemAlloc(sizeof(BSTR)));
    const BSTR uri = list != nullptr ? SysAllocString(kPinPrintUri) : nullptr;
    if (uri == nullptr) {
        CoTaskMemFree(list);
        return E_OUTOFMEMORY;
    }
    list[0] = uri;
    // The whole private devmode rides in every ticket as the driver's snapshot: the digest
    // travels with it, and the ticket's own items never carry any of it.
    *options = OEMPT_DEFAULT;
    *count = 1;
    *namespaces = list;
    return S_OK;
}

HRESULT ConvertPrintTicketToDevMode(HANDLE printer, IXMLDOMDocument2* ticket, ULONG privateSize,
                                    void* privateDevmode) {
    if (ticket == nullptr) {
        return E_POINTER;
    }
    PrivateDevmode record;
    if (!ReadRecord(privateSize, privateDevmode, record)) {
        return E_INVALIDARG;
    }
    Root root;
    HRESULT hr = ReadRoot(ticket, L"PrintTicket", root);
    if (hr != S_OK) {
        return FAILED(hr) ? hr : E_PRINTTICKET_FORMAT;
    }
    const DriverOptions options = ReadDriverOptions(printer);
    if ((options & DRVOPT_SECURE_PAGE) == 0) {
        return S_OK;
    }
    Items items;
    hr = FindItems(root, L"ParameterInit", items);
    if (FAILED(hr)) {
        return hr;
    }

    if (items.first[kPasscodeItem]) {
        const Choice choice = ReadChoice(root, items.first[kPasscodeItem].get());
        if (choice == Choice::Invalid) {
            return E_PRINTTICKET_FORMAT;
        }
        record.secureEnabled = choice == Choice::On ? 1 : 0;
    }
    struct Name {
        Item item;
        char16_t* field;
    };
    for (const Name& name :
         {Name{kUserNameItem, record.userName}, Name{kJobNameItem, record.jobName}}) {
        if (!items.first[name.item]) {
            continue;
        }
        ComRef<IXMLDOMElement> value;
        Bstr text;
        if (!ReadString(root, items.first[name.item].get(), value, text)) {
            return E_PRINTTICKET_FORMAT;
        }
        wchar_t kept[kNameChars + 1];
        bool changed = false;
        PageName(text.view(), options, kept, changed);
        CopyToField(name.field, kNameChars, kept);
    }
    if (items.first[kPasscodeStringItem]) {
        ComRef<IXMLDOMElement> value;
        Bstr pin;
        pin.WipeOnRelease();
        if (!ReadString(root, items.first[kPasscodeStringItem].get(), value, pin)) {
            return E_PRINTTICKET_FORMAT;
        }
        DWORD error = 0;
        if (IsPin(pin) && !ComputePinDigest(pin.get(), record.pinDigest, &error)) {
            return FromDigestError(error);
        }
    }
    // Secure printing is never left on without a PIN to release the job with.
    if (record.secureEnabled == 1 && !HasPinDigest(record)) {
        record.secureEnabled = 0;
    }
    memcpy(privateDevmode, &record, kPrivateDevmodeSize);
    return S_OK;
}

HRESULT ConvertDevModeToPrintTicket(HANDLE printer, ULONG privateSize, const void* privateDevmode,
                                    IXMLDOMDocument2* ticket) {
    if (ticket == nullptr) {
        return E_POINTER;
    }
    PrivateDevmode record;
    if (!ReadRecord(privateSize, privateDevmode, record)) {
        return E_INVALIDARG;
    }
    Root root;
    HRESULT hr = ReadRoot(ticket, L"PrintTicket", root);
    if (hr != S_OK) {
        return FAILED(hr) ? hr : E_PRINTTICKET_FORMAT;
    }
    const DriverOptions options = ReadDriverOptions(printer);
    if ((options & DRVOPT_SECURE_PAGE) == 0) {
        return S_OK;
    }
    Items items;
    hr = FindItems(root, L"ParameterInit", items);
    if (FAILED(hr)) {
        return hr;
    }

    // Every new element is built before the first one goes in.
    Writer writer(ticket, root);
    const ComRef<IXMLDOMElement> feature =
        writer.Element(L"Feature", writer.Name(kPskV11Uri, kJobPasscode));
    const ComRef<IXMLDOMElement> option =
        writer.Element(L"Option", writer.Name(kPskUri, record.secureEnabled == 1 ? kOn : kOff));
    writer.Append(feature.get(), option.get());
    struct Name {
        Item item;
        const wchar_t* keyword;
        std::wstring_view text;
        ComRef<IXMLDOMElement> element;
    } names[] = {{kUserNameItem, kUserName, FieldView(record.userName), {}},
                 {kJobNameItem, kJobName, FieldView(record.jobName), {}}};
    for (Name& name : names) {
        // An empty name is no name: the parameter is left out, as its capabilities ask.
        if (!name.text.empty()) {
            name.element =
                writer.Element(L"ParameterInit", writer.Name(kPinPrintUri, name.keyword));
            writer.Value(name.element.get(), L"string", name.text);
        }
    }
    if (FAILED(writer.result())) {
        return writer.result();
    }

    writer.Place(feature.get(), items.first[kPasscodeItem].get());
    for (const Name& name : names) {
        if (name.element) {
            writer.Place(name.element.get(), items.first[name.item].get());
        } else {
            writer.Remove(items.first[name.item].get());
        }
    }
    for (const auto& [item, element] : items.duplicates) {
        if (item != kPasscodeStringItem) {
            writer.Remove(element.get());
        }
    }
    return writer.result();
}

HRESULT ValidatePrintTicket(HANDLE printer, IXMLDOMDocument2* ticket) {
    if (ticket == nullptr) {
        return E_POINTER;
    }
    Root root;
    HRESULT hr = ReadRoot(ticket, L"PrintTicket", root);
    if (hr != S_OK) {
        return FAILED(hr) ? hr : E_PRINTTICKET_FORMAT;
    }
    const DriverOptions options = ReadDriverOptions(printer);
    if ((options & DRVOPT_SECURE_PAGE) == 0) {
        return S_NO_CONFLICT;
    }
    Items items;
    hr = FindItems(root, L"ParameterInit", items);
    if (FAILED(hr)) {
        return hr;
    }

    Writer writer(ticket, root);
    bool changed = !items.duplicates.empty();
    for (const auto& duplicate : items.duplicates) {
        writer.Remove(duplicate.second.get());
    }
    const auto drop = [&](Item item) {
        writer.Remove(items.first[item].get());
        changed = true;
    };
    if (items.first[kPasscodeItem] &&
        ReadChoice(root, items.first[kPasscodeItem].get()) == Choice::Invalid) {
        drop(kPasscodeItem);
    }
    if (items.first[kPasscodeStringItem]) {
        ComRef<IXMLDOMElement> value;
        Bstr pin;
        pin.WipeOnRelease();
        if (!ReadString(root, items.first[kPasscodeStringItem].get(), value, pin) || !IsPin(pin)) {
            drop(kPasscodeStringItem);
        }
    }
    for (const Item item : {kUserNameItem, kJobNameItem}) {
        if (!items.first[item]) {
            continue;
        }
        ComRef<IXMLDOMElement> value;
        Bstr text;
        wchar_t kept[kNameChars + 1];
        bool cut = false;
        if (!ReadString(root, items.first[item].get(), value, text) ||
            PageName(text.view(), options, kept, cut) == 0) {
            drop(item);
        } else if (cut && SUCCEEDED(writer.result())) {
            Bstr shorter(kept);
            hr = shorter.get() == nullptr ? E_OUTOFMEMORY : value->put_text(shorter.get());
            if (FAILED(hr)) {
                return hr;
            }
            changed = true;
        }
    }
    if (FAILED(writer.result())) {
        return writer.result();
    }
    return changed ? S_CONFLICT_RESOLVED : S_NO_CONFLICT;
}

}  // namespace pinprint::ticket
