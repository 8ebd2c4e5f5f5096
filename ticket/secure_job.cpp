#include "ticket/secure_job.h"

#include <utility>

#include "platform/print_ticket_provider.h"
#include "rules/name_rules.h"
#include "rules/pin_digest.h"
#include "ticket/print_schema.h"

namespace pinprint::ticket {
namespace {

struct ItemName {
    bool feature;  // a psf:Feature; otherwise the document's parameter element
    const wchar_t* uri;
    const wchar_t* keyword;
};

constexpr ItemName kItemNames[kItemCount] = {
    {true, kPskV11Uri, kJobPasscode},
    {false, kPskV11Uri, kJobPasscodeString},
    {false, kPinPrintUri, kUserName},
    {false, kPinPrintUri, kJobName},
};

}  // namespace

namespace {

// Which item `element`, a child of the root, is; kItemCount for none of them.
HRESULT ItemOf(const Root& root, const wchar_t* parameter, IXMLDOMElement* element, Item& item) {
    item = kItemCount;
    // The local name first: most of a ticket is the driver's features, which end here.
    Bstr local;
    PINPRINT_RETURN_IF_FAILED(element->get_baseName(local.put()));
    const bool feature = local.view() == L"Feature";
    if (!feature && local.view() != parameter) {
        return S_OK;
    }
    Bstr uri;
    Bstr name;
    PINPRINT_RETURN_IF_FAILED(element->get_namespaceURI(uri.put()));
    if (uri.view() != kPsfUri) {
        return S_OK;
    }
    PINPRINT_RETURN_IF_FAILED(GetAttribute(element, L"name", name));
    for (int i = 0; i < kItemCount && name.get() != nullptr; ++i) {
        bool is = false;
        if (kItemNames[i].feature == feature) {
            PINPRINT_RETURN_IF_FAILED(QNameIs(root, element, 1, name.view(), kItemNames[i].uri,
                                              kItemNames[i].keyword, is));
        }
        if (is) {
            item = static_cast<Item>(i);
            break;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT FindItems(const Root& root, const wchar_t* parameter, Items& items) {
    return ForEachChildElement(root.element.get(), [&](IXMLDOMElement* element) -> HRESULT {
        Item item = kItemCount;
        PINPRINT_RETURN_IF_FAILED(ItemOf(root, parameter, element, item));
        if (item != kItemCount) {
            if (items.first[item]) {
                ++items.duplicates;
            } else {
                items.first[item] = ComRef<IXMLDOMElement>::Share(element);
            }
        }
        return S_OK;
    });
}

HRESULT Prune(const Root& root, const wchar_t* parameter, const Keep (&keep)[kItemCount]) {
    bool seen[kItemCount] = {};
    return ForEachChildElement(root.element.get(), [&](IXMLDOMElement* element) -> HRESULT {
        Item item = kItemCount;
        PINPRINT_RETURN_IF_FAILED(ItemOf(root, parameter, element, item));
        if (item == kItemCount || keep[item] == Keep::All ||
            (keep[item] == Keep::First && !std::exchange(seen[item], true))) {
            return S_OK;
        }
        ComRef<IXMLDOMNode> removed;
        return root.element->removeChild(element, removed.put());
    });
}

HRESULT ReadChoice(const Root& root, IXMLDOMElement* feature, bool& on) {
    on = false;
    ComRef<IXMLDOMElement> option;
    Bstr name;
    PINPRINT_RETURN_IF_FAILED(FirstChildElement(feature, kPsfUri, L"Option", option));
    if (option) {
        PINPRINT_RETURN_IF_FAILED(GetAttribute(option.get(), L"name", name));
    }
    if (name.get() == nullptr) {
        return E_PRINTTICKET_FORMAT;
    }
    PINPRINT_RETURN_IF_FAILED(QNameIs(root, option.get(), 2, name.view(), kPskUri, kOn, on));
    bool off = false;
    if (!on) {
        PINPRINT_RETURN_IF_FAILED(QNameIs(root, option.get(), 2, name.view(), kPskUri, kOff, off));
    }
    return on || off ? S_OK : E_PRINTTICKET_FORMAT;
}

HRESULT ReadString(const Root& root, IXMLDOMElement* parameter, ComRef<IXMLDOMElement>& value,
                   Bstr& text) {
    Bstr type;
    bool is = false;
    PINPRINT_RETURN_IF_FAILED(FirstChildElement(parameter, kPsfUri, L"Value", value));
    if (value) {
        PINPRINT_RETURN_IF_FAILED(GetXsiType(root, value.get(), 2, type));
    }
    if (type.get() != nullptr) {
        PINPRINT_RETURN_IF_FAILED(
            QNameIs(root, value.get(), 2, type.view(), kXsdUri, L"string", is));
    }
    if (!is) {
        value.reset();
        return S_OK;
    }
    return value->get_text(text.put());
}

HRESULT ReadPin(const Root& root, IXMLDOMElement* parameter, Bstr& pin) {
    ComRef<IXMLDOMElement> value;
    pin.WipeOnRelease();
    PINPRINT_RETURN_IF_FAILED(ReadString(root, parameter, value, pin));
    // The length first: a BSTR may hold a NUL after four digits.
    return value && pin.view().size() == 4 && IsFourDigits(pin.get()) ? S_OK : E_PRINTTICKET_FORMAT;
}

size_t PageName(std::wstring_view text, DWORD options, bool characterRules,
                wchar_t (&name)[kNameChars + 1], bool& changed) {
    const NameCharset charset = NameCharsetFor(options);
    const size_t limit = static_cast<size_t>(NameLimitFor(options));
    size_t count = 0;
    changed = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        // Half a surrogate pair, and the two non-characters, are no text at all.
        const bool unpaired =
            (IS_HIGH_SURROGATE(c) && (i + 1 == text.size() || !IS_LOW_SURROGATE(text[i + 1]))) ||
            (IS_LOW_SURROGATE(c) && (i == 0 || !IS_HIGH_SURROGATE(text[i - 1])));
        if (c < L' ' || c == 0x7F || c >= 0xFFFE || unpaired ||
            (characterRules && !AcceptsNameCharacter(charset, c)) || (c == L' ' && count == 0)) {
            changed = true;
            continue;
        }
        if (count == limit) {
            changed = true;
            break;
        }
        name[count++] = c;
    }
    if (count > 0 && IS_HIGH_SURROGATE(name[count - 1])) {
        --count;  // its other half did not fit
        changed = true;
    }
    // Spaces at either end do not survive a ticket: MSXML reads element text without them.
    while (count > 0 && name[count - 1] == L' ') {
        --count;
        changed = true;
    }
    name[count] = L'\0';
    return count;
}

}  // namespace pinprint::ticket
