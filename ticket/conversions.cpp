// Binding, the two conversions and validation.
#include <cstring>
#include <cwchar>
#include <tuple>
#include <utility>

#include "config/driver_options.h"
#include "rules/pin_digest.h"
#include "rules/sender_names.h"
#include "ticket/print_schema.h"
#include "ticket/secure_job.h"
#include "ticket/ticket_provider.h"

namespace pinprint::ticket {
namespace {

// CryptoAPI reports NTE_* codes, which are HRESULTs already, and Win32 errors; the digest never
// reports 0 (it says E_FAIL instead).
HRESULT FromDigestError(DWORD error) {
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

// What every ticket operation works on: the private devmode's record (for the conversions), the
// ticket's root, the options word and the secure job's items.
struct Opened {
    PrivateDevmode record;
    Root root;
    DriverOptions options = 0;
    Items items;
};

// Opens the ticket, and the record `block` when `withRecord`: E_POINTER without a ticket,
// E_INVALIDARG for a record that is not there or shorter than 652 bytes, the format error for a
// document that is no PrintTicket. S_FALSE when the printer offers no secure printing: nothing is
// read or changed then (NoSecurePrinting says whether the ticket asks for it all the same).
HRESULT OpenTicket(HANDLE printer, IXMLDOMDocument2* ticket, ULONG size, const void* block,
                   bool withRecord, Opened& opened) {
    if (ticket == nullptr) {
        return E_POINTER;
    }
    if (withRecord && !ReadRecord(size, block, opened.record)) {
        return E_INVALIDARG;
    }
    PINPRINT_RETURN_IF_FAILED(ReadRoot(ticket, L"PrintTicket", opened.root));
    if (!opened.root.element) {
        return E_PRINTTICKET_FORMAT;
    }
    opened.options = ReadDriverOptions(printer);
    if ((opened.options & DRVOPT_SECURE_PAGE) == 0) {
        return S_FALSE;
    }
    return FindItems(opened.root, L"ParameterInit", opened.items);
}

// A printer that offers no secure printing holds nothing: a secure job asked of it all the same
// is refused, never printed in the open. Anything else in the ticket is not this plug-in's.
HRESULT NoSecurePrinting(Opened& opened) {
    PINPRINT_RETURN_IF_FAILED(FindItems(opened.root, L"ParameterInit", opened.items));
    bool on = false;
    if (opened.items.first[kPasscodeItem]) {
        PINPRINT_RETURN_IF_FAILED(
            ReadChoice(opened.root, opened.items.first[kPasscodeItem].get(), on));
    }
    return on ? E_PRINTTICKET_FORMAT : S_OK;
}

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
    Opened opened;
    const HRESULT result = OpenTicket(printer, ticket, privateSize, privateDevmode, true, opened);
    if (result != S_OK) {
        return result == S_FALSE ? NoSecurePrinting(opened) : result;
    }
    PrivateDevmode& record = opened.record;
    const Root& root = opened.root;
    const DriverOptions options = opened.options;
    Items& items = opened.items;

    if (items.first[kPasscodeItem]) {
        bool on = false;
        PINPRINT_RETURN_IF_FAILED(ReadChoice(root, items.first[kPasscodeItem].get(), on));
        record.secureEnabled = on ? 1 : 0;
    }
    for (const auto& [item, field] :
         {std::pair{kUserNameItem, record.userName}, std::pair{kJobNameItem, record.jobName}}) {
        if (!items.first[item]) {
            continue;
        }
        ComRef<IXMLDOMElement> value;
        Bstr text;
        PINPRINT_RETURN_IF_FAILED(ReadString(root, items.first[item].get(), value, text));
        if (!value) {
            return E_PRINTTICKET_FORMAT;
        }
        wchar_t kept[kNameChars + 1];
        bool changed = false;
        PageName(text.view(), options, true, kept, changed);
        CopyToField(field, kNameChars, kept);
    }
    // A PIN the page would refuse is refused here too, and never stands in for a stored one:
    // the job would be held under a PIN its sender did not give.
    const bool pinTaken = static_cast<bool>(items.first[kPasscodeStringItem]);
    if (pinTaken) {
        Bstr pin;
        PINPRINT_RETURN_IF_FAILED(ReadPin(root, items.first[kPasscodeStringItem].get(), pin));
        DWORD error = 0;
        if (!ComputePinDigest(pin.get(), record.pinDigest, &error)) {
            return FromDigestError(error);
        }
    }
    // A secure job without a PIN to release it with is refused, never turned into one printed
    // in the open.
    if (record.secureEnabled == 1 && !HasPinDigest(record)) {
        return E_PRINTTICKET_FORMAT;
    }
    // A job set here is the job the page would leave: the sender's names beside it. The names
    // count as given by hand where the page always takes them so (no choice offered), where the
    // ticket gave them, or where the user chose them on the page; automatic names chosen there
    // stay chosen. A secure job goes by names given by hand only when both are there, else by
    // the sender's names.
    const bool names = items.first[kUserNameItem] || items.first[kJobNameItem];
    const bool touched = names || items.first[kPasscodeItem] || pinTaken;
    if (touched || record.secureEnabled == 1) {
        StoreSystemNames(&record);
    }
    const bool byHand = names || record.customNames == 1 || (options & DRVOPT_NAME_CHOICE) == 0;
    if (record.secureEnabled == 1) {
        const bool both = record.userName[0] != u'\0' && record.jobName[0] != u'\0';
        record.customNames = byHand && both ? 1 : 0;
    } else if (touched && byHand) {
        record.customNames = 1;
    }
    memcpy(privateDevmode, &record, kPrivateDevmodeSize);
    return S_OK;
}

HRESULT ConvertDevModeToPrintTicket(HANDLE printer, ULONG privateSize, const void* privateDevmode,
                                    IXMLDOMDocument2* ticket) {
    Opened opened;
    const HRESULT result = OpenTicket(printer, ticket, privateSize, privateDevmode, true, opened);
    if (result != S_OK) {
        return result == S_FALSE ? S_OK : result;
    }
    PrivateDevmode& record = opened.record;
    Root& root = opened.root;
    const DriverOptions options = opened.options;
    Items& items = opened.items;

    // Every new element is built before the first one goes in.
    Writer writer(ticket, root);
    ComRef<IXMLDOMElement> built[kItemCount];
    ComRef<IXMLDOMElement> option;
    PINPRINT_RETURN_IF_FAILED(
        writer.Named(L"Feature", kPskV11Uri, kJobPasscode, built[kPasscodeItem]));
    PINPRINT_RETURN_IF_FAILED(
        writer.Named(L"Option", kPskUri, record.secureEnabled == 1 ? kOn : kOff, option));
    PINPRINT_RETURN_IF_FAILED(Writer::Append(built[kPasscodeItem].get(), option.get()));
    Keep keep[kItemCount] = {Keep::First, Keep::All, Keep::First, Keep::First};
    // Names kept from an earlier choice are not the job's where the user chose automatic names:
    // the ticket carries none then, so that converting it back keeps that choice.
    const bool automatic = record.customNames == 0 && (options & DRVOPT_NAME_CHOICE) != 0;
    for (const auto& [item, keyword, field] :
         {std::tuple{kUserNameItem, kUserName, record.userName},
          std::tuple{kJobNameItem, kJobName, record.jobName}}) {
        wchar_t name[kNameChars + 1];
        bool changed = false;
        // The record's name as the ticket may carry it; an empty one is no name at all, and
        // the parameter is left out, as its capabilities ask.
        const size_t length =
            automatic ? 0 : PageName(FieldView(field), options, false, name, changed);
        if (length == 0) {
            keep[item] = Keep::None;
            continue;
        }
        PINPRINT_RETURN_IF_FAILED(
            writer.Named(L"ParameterInit", kPinPrintUri, keyword, built[item]));
        PINPRINT_RETURN_IF_FAILED(
            writer.Value(built[item].get(), L"string", std::wstring_view(name, length)));
    }

    for (int i = 0; i < kItemCount; ++i) {
        if (built[i]) {
            PINPRINT_RETURN_IF_FAILED(writer.Place(built[i].get(), items.first[i].get()));
        } else if (keep[i] == Keep::None) {
            PINPRINT_RETURN_IF_FAILED(writer.Remove(items.first[i].get()));
        }
    }
    // A second walk only for names given more than once.
    return items.duplicates > 0 ? Prune(root, L"ParameterInit", keep) : S_OK;
}

HRESULT ValidatePrintTicket(HANDLE printer, IXMLDOMDocument2* ticket) {
    Opened opened;
    const HRESULT result = OpenTicket(printer, ticket, 0, nullptr, false, opened);
    if (result != S_OK) {
        if (result == S_FALSE) {
            const HRESULT refused = NoSecurePrinting(opened);
            return FAILED(refused) ? refused : S_NO_CONFLICT;
        }
        return result;
    }
    Root& root = opened.root;
    const DriverOptions options = opened.options;
    Items& items = opened.items;

    // What the conversion would refuse is refused here too, with the ticket left as it came:
    // removing a bad PIN would leave JobPasscode On to a stored digest, and removing an
    // unreadable JobPasscode the job to whatever the devmode held.
    if (items.first[kPasscodeItem]) {
        bool on = false;
        PINPRINT_RETURN_IF_FAILED(ReadChoice(root, items.first[kPasscodeItem].get(), on));
    }
    if (items.first[kPasscodeStringItem]) {
        Bstr pin;
        PINPRINT_RETURN_IF_FAILED(ReadPin(root, items.first[kPasscodeStringItem].get(), pin));
    }

    bool changed = items.duplicates > 0;
    if (changed) {
        const Keep first[kItemCount] = {Keep::First, Keep::First, Keep::First, Keep::First};
        PINPRINT_RETURN_IF_FAILED(Prune(root, L"ParameterInit", first));
    }
    Writer writer(ticket, root);
    const auto drop = [&](Item item) {
        changed = true;
        return writer.Remove(items.first[item].get());
    };
    for (const Item item : {kUserNameItem, kJobNameItem}) {
        if (!items.first[item]) {
            continue;
        }
        ComRef<IXMLDOMElement> value;
        Bstr text;
        wchar_t kept[kNameChars + 1];
        bool cut = false;
        PINPRINT_RETURN_IF_FAILED(ReadString(root, items.first[item].get(), value, text));
        if (!value || PageName(text.view(), options, true, kept, cut) == 0) {
            PINPRINT_RETURN_IF_FAILED(drop(item));
        } else if (cut) {
            Bstr shorter;
            PINPRINT_RETURN_IF_FAILED(shorter.Assign(kept));
            PINPRINT_RETURN_IF_FAILED(value->put_text(shorter.get()));
            changed = true;
        }
    }
    return changed ? S_CONFLICT_RESOLVED : S_NO_CONFLICT;
}

}  // namespace pinprint::ticket
