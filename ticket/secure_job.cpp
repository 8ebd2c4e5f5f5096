#include "ticket/secure_job.h"

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

HRESULT FindItems(const Root& root, const wchar_t* parameter, Items& items) {
    return ForEachChildElement(root.element.get(), [&](IXMLDOMElement* element) {
        // The local name first: most of a ticket is the driver's features, which end here.
        Bstr local;
        if (FAILED(element->get_baseName(local.put()))) {
            return true;
        }
        const bool feature = local.view() == L"Feature";
        if (!feature && local.view() != parameter) {
            return true;
        }
        Bstr uri;
        Bstr name;
        if (FAILED(element->get_namespaceURI(uri.put())) || uri.view() != kPsfUri ||
            !GetAttribute(element, L"name", name)) {
            return true;
        }
        for (int i = 0; i < kItemCount; ++i) {
            if (kItemNames[i].feature != feature ||
                !QNameIs(root, element, 1, name.view(), kItemNames[i].uri, kItemNames[i].keyword)) {
                continue;
            }
            auto shared = ComRef<IXMLDOMElement>::Share(element);
            if (items.first[i]) {
                items.duplicates.emplace_back(static_cast<Item>(i), std::move(shared));
            } else {
                items.first[i] = std::move(shared);
            }
            break;
        }
        return true;
    });
}

Choice ReadChoice(const Root& root, IXMLDOMElement* feature) {
    const ComRef<IXMLDOMElement> option = FirstChildElement(feature, kPsfUri, L"Option");
    Bstr name;
    if (!option || !GetAttribute(option.get(), L"name", name)) {
        return Choice::Invalid;
    }
    if (QNameIs(root, option.get(), 2, name.view(), kPskUri, kOn)) {
        return Choice::On;
    }
    if (QNameIs(root, option.get(), 2, name.view(), kPskUri, kOff)) {
        return Choice::Off;
    }
    return Choice::Invalid;
}

bool ReadString(const Root& root, IXMLDOMElement* parameter, ComRef<IXMLDOMElement>& value,
                Bstr& text) {
    value = FirstChildElement(parameter, kPsfUri, L"Value");
    Bstr type;
    if (!value || !GetXsiType(root, value.get(), type) ||
        !QNameIs(root, value.get(), 2, type.view(), kXsdUri, L"string")) {
        value.reset();
        return false;
    }
    return SUCCEEDED(value->get_text(text.put()));
}

bool IsPin(const Bstr& text) {
    // The length first: a BSTR may hold a NUL after four digits.
    return text.view().size() == 4 && IsFourDigits(text.get());
}

size_t PageName(std::wstring_view text, DWORD options, wchar_t (&name)[kNameChars + 1],
                bool& changed) {
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
        if (c < L' ' || c == 0x7F || c >= 0xFFFE || unpaired || !AcceptsNameCharacter(charset, c) ||
            (c == L' ' && count == 0)) {
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
