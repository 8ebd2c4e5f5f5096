#include "ticket/dom.h"

#include <cstring>
#include <cwchar>

#include "ticket/print_schema.h"

namespace pinprint::ticket {
namespace {

constexpr std::wstring_view kXmlns = L"xmlns";

// Splits "prefix:local"; a name without a colon has the empty prefix.
std::pair<std::wstring_view, std::wstring_view> Split(std::wstring_view qname) {
    const size_t colon = qname.find(L':');
    if (colon == std::wstring_view::npos) {
        return {std::wstring_view(), qname};
    }
    return {qname.substr(0, colon), qname.substr(colon + 1)};
}

// The prefix an attribute named `name` declares: "xmlns:p" declares p, "xmlns" the default
// namespace. False for any other attribute.
bool DeclaredPrefix(std::wstring_view name, std::wstring_view& prefix) {
    if (name == kXmlns) {
        prefix = std::wstring_view();
        return true;
    }
    if (name.size() > kXmlns.size() + 1 && name.substr(0, kXmlns.size()) == kXmlns &&
        name[kXmlns.size()] == L':') {
        prefix = name.substr(kXmlns.size() + 1);
        return true;
    }
    return false;
}

bool Declares(std::wstring_view name, std::wstring_view prefix) {
    std::wstring_view declared;
    return DeclaredPrefix(name, declared) && declared == prefix;
}

// Calls visit(name, text) for each attribute of `element`: S_OK goes on, anything else stops.
template <typename Visit>
HRESULT ForEachAttribute(IXMLDOMElement* element, Visit&& visit) {
    ComRef<IXMLDOMNamedNodeMap> map;
    PINPRINT_RETURN_IF_FAILED(element->get_attributes(map.put()));
    long count = 0;
    if (map) {
        PINPRINT_RETURN_IF_FAILED(map->get_length(&count));
    }
    for (long i = 0; i < count; ++i) {
        ComRef<IXMLDOMNode> attribute;
        PINPRINT_RETURN_IF_FAILED(map->get_item(i, attribute.put()));
        if (!attribute) {
            continue;
        }
        Bstr name;
        Bstr text;
        PINPRINT_RETURN_IF_FAILED(attribute->get_nodeName(name.put()));
        PINPRINT_RETURN_IF_FAILED(attribute->get_text(text.put()));
        const HRESULT hr = visit(name.view(), text);
        if (hr != S_OK) {
            return FAILED(hr) ? hr : S_OK;
        }
    }
    return S_OK;
}

// The URI the root declares for `prefix`; null when it declares none.
HRESULT RootUri(const Root& root, std::wstring_view prefix, Bstr& uri) {
    return ForEachAttribute(root.element.get(), [&](std::wstring_view name, Bstr& text) {
        if (!Declares(name, prefix)) {
            return S_OK;
        }
        uri = std::move(text);
        return S_FALSE;
    });
}

HRESULT SetAttribute(IXMLDOMElement* element, std::wstring_view name, std::wstring_view value) {
    Bstr attribute;
    Bstr text;
    PINPRINT_RETURN_IF_FAILED(attribute.Assign(name));
    PINPRINT_RETURN_IF_FAILED(text.Assign(value));
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = text.get();
    return element->setAttribute(attribute.get(), v);
}

}  // namespace

Bstr::~Bstr() {
    if (b_ != nullptr) {
        if (wipe_) {
            SecureZeroMemory(b_, SysStringLen(b_) * sizeof(wchar_t));
        }
        SysFreeString(b_);
    }
}

HRESULT Bstr::Assign(std::wstring_view a, std::wstring_view b, std::wstring_view c) {
    put();
    b_ = SysAllocStringLen(nullptr, static_cast<UINT>(a.size() + b.size() + c.size()));
    if (b_ == nullptr) {
        return E_OUTOFMEMORY;
    }
    wmemcpy(b_, a.data(), a.size());
    wmemcpy(b_ + a.size(), b.data(), b.size());
    wmemcpy(b_ + a.size() + b.size(), c.data(), c.size());
    return S_OK;
}

BSTR* Bstr::put() {
    if (b_ != nullptr) {
        SysFreeString(std::exchange(b_, nullptr));
    }
    return &b_;
}

std::wstring_view Bstr::view() const {
    return b_ != nullptr ? std::wstring_view(b_, SysStringLen(b_)) : std::wstring_view();
}

HRESULT ReadRoot(IXMLDOMDocument2* document, const wchar_t* local, Root& root) {
    ComRef<IXMLDOMElement> element;
    PINPRINT_RETURN_IF_FAILED(document->get_documentElement(element.put()));
    bool is = false;
    if (element) {
        PINPRINT_RETURN_IF_FAILED(IsElement(element.get(), kPsfUri, local, is));
    }
    if (is) {
        root.element = std::move(element);
    }
    return S_OK;
}

HRESULT IsElement(IXMLDOMNode* node, const wchar_t* uri, const wchar_t* local, bool& is) {
    Bstr name;
    Bstr ns;
    PINPRINT_RETURN_IF_FAILED(node->get_baseName(name.put()));
    is = name.view() == local;
    if (is) {
        PINPRINT_RETURN_IF_FAILED(node->get_namespaceURI(ns.put()));
        is = ns.view() == uri;
    }
    return S_OK;
}

HRESULT QNameIs(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view qname,
                const wchar_t* uri, const wchar_t* local, bool& is) {
    const auto [prefix, name] = Split(qname);
    is = false;
    if (name != local) {
        return S_OK;
    }
    // Declarations on the element and its parents below the root come first, then the root's.
    Bstr declaration;
    PINPRINT_RETURN_IF_FAILED(prefix.empty() ? declaration.Assign(kXmlns)
                                             : declaration.Assign(kXmlns, L":", prefix));
    ComRef<IXMLDOMElement> current = ComRef<IXMLDOMElement>::Share(element);
    for (int level = 0; level < depth && current; ++level) {
        Bstr declared;
        PINPRINT_RETURN_IF_FAILED(GetAttribute(current.get(), declaration.view(), declared));
        if (declared.get() != nullptr) {
            is = declared.view() == uri;
            return S_OK;
        }
        ComRef<IXMLDOMNode> parent;
        if (level + 1 < depth) {
            PINPRINT_RETURN_IF_FAILED(current->get_parentNode(parent.put()));
        }
        current.reset();
        if (parent) {
            PINPRINT_RETURN_IF_FAILED(parent->QueryInterface(
                IID_IXMLDOMElement, reinterpret_cast<void**>(current.put())));
        }
    }
    Bstr declared;
    PINPRINT_RETURN_IF_FAILED(RootUri(root, prefix, declared));
    is = declared.get() != nullptr && declared.view() == uri;
    return S_OK;
}

HRESULT GetAttribute(IXMLDOMElement* element, std::wstring_view name, Bstr& value) {
    Bstr attribute;
    PINPRINT_RETURN_IF_FAILED(attribute.Assign(name));
    VARIANT v;
    v.vt = VT_EMPTY;
    const HRESULT hr = element->getAttribute(attribute.get(), &v);
    value.put();
    if (hr == S_OK && v.vt == VT_BSTR) {
        *value.put() = v.bstrVal;  // the variant's string now belongs to `value`
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT GetXsiType(const Root& root, IXMLDOMElement* element, Bstr& value) {
    value.put();
    // The attribute whose name is p:type, where p stands for XML Schema instance on the
    // element itself or at the root.
    return ForEachAttribute(element, [&](std::wstring_view name, Bstr& text) -> HRESULT {
        const std::pair<std::wstring_view, std::wstring_view> parts = Split(name);
        const std::wstring_view prefix = parts.first;
        if (parts.second != L"type" || prefix.empty() || prefix == kXmlns) {
            return S_OK;
        }
        Bstr uri;
        PINPRINT_RETURN_IF_FAILED(ForEachAttribute(element, [&](std::wstring_view n, Bstr& t) {
            if (!Declares(n, prefix)) {
                return S_OK;
            }
            uri = std::move(t);
            return S_FALSE;
        }));
        if (uri.get() == nullptr) {
            PINPRINT_RETURN_IF_FAILED(RootUri(root, prefix, uri));
        }
        if (uri.view() != kXsiUri) {
            return S_OK;
        }
        value = std::move(text);
        return S_FALSE;
    });
}

HRESULT FirstChildElement(IXMLDOMNode* parent, const wchar_t* uri, const wchar_t* local,
                          ComRef<IXMLDOMElement>& found) {
    found.reset();
    return ForEachChildElement(parent, [&](IXMLDOMElement* element) -> HRESULT {
        bool is = false;
        PINPRINT_RETURN_IF_FAILED(IsElement(element, uri, local, is));
        if (!is) {
            return S_OK;
        }
        found = ComRef<IXMLDOMElement>::Share(element);
        return S_FALSE;
    });
}

HRESULT Writer::Prefix(const wchar_t* uri, std::wstring_view& prefix) {
    static constexpr std::pair<const wchar_t*, const wchar_t*> kNamespaceList[kNamespaces] = {
        {kPsfUri, kPsfPrefix}, {kPskUri, kPskPrefix}, {kPskV11Uri, kPskV11Prefix},
        {kXsiUri, kXsiPrefix}, {kXsdUri, kXsdPrefix}, {kPinPrintUri, kPinPrintPrefix}};
    int n = 0;
    while (n < kNamespaces - 1 && std::wstring_view(kNamespaceList[n].first) != uri) {
        ++n;
    }
    if (!known_[n]) {
        // The prefix the root declares for the namespace, else a free one declared there.
        PINPRINT_RETURN_IF_FAILED(
            ForEachAttribute(root_.element.get(), [&](std::wstring_view name, Bstr& text) {
                std::wstring_view declared;
                if (text.view() != uri || !DeclaredPrefix(name, declared)) {
                    return S_OK;
                }
                const HRESULT hr = prefixes_[n].Assign(declared);
                return FAILED(hr) ? hr : S_FALSE;
            }));
        if (prefixes_[n].get() == nullptr) {
            wchar_t free[32];
            swprintf(free, 32, L"%ls", kNamespaceList[n].second);
            for (int suffix = 1;; ++suffix) {
                Bstr taken;
                PINPRINT_RETURN_IF_FAILED(RootUri(root_, free, taken));
                if (taken.get() == nullptr) {
                    break;
                }
                swprintf(free, 32, L"%ls%d", kNamespaceList[n].second, suffix);
            }
            Bstr name;
            PINPRINT_RETURN_IF_FAILED(name.Assign(kXmlns, L":", free));
            PINPRINT_RETURN_IF_FAILED(SetAttribute(root_.element.get(), name.view(), uri));
            PINPRINT_RETURN_IF_FAILED(prefixes_[n].Assign(free));
        }
        known_[n] = true;
    }
    prefix = prefixes_[n].view();
    return S_OK;
}

HRESULT Writer::Name(const wchar_t* uri, const wchar_t* local, Bstr& name) {
    std::wstring_view prefix;
    PINPRINT_RETURN_IF_FAILED(Prefix(uri, prefix));
    return prefix.empty() ? name.Assign(local) : name.Assign(prefix, L":", local);
}

HRESULT Writer::Element(const wchar_t* local, std::wstring_view name,
                        ComRef<IXMLDOMElement>& element) {
    Bstr qualified;
    Bstr uri;
    PINPRINT_RETURN_IF_FAILED(Name(kPsfUri, local, qualified));
    PINPRINT_RETURN_IF_FAILED(uri.Assign(kPsfUri));
    ComRef<IXMLDOMNode> node;
    VARIANT type;
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    PINPRINT_RETURN_IF_FAILED(document_->createNode(type, qualified.get(), uri.get(), node.put()));
    PINPRINT_RETURN_IF_FAILED(
        node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put())));
    return name.empty() ? S_OK : SetAttribute(element.get(), L"name", name);
}

HRESULT Writer::Named(const wchar_t* local, const wchar_t* uri, const wchar_t* keyword,
                      ComRef<IXMLDOMElement>& element) {
    Bstr name;
    PINPRINT_RETURN_IF_FAILED(Name(uri, keyword, name));
    return Element(local, name.view(), element);
}

HRESULT Writer::Value(IXMLDOMElement* parent, const wchar_t* type, std::wstring_view text) {
    Bstr typeName;
    std::wstring_view xsi;
    PINPRINT_RETURN_IF_FAILED(Name(kXsdUri, type, typeName));
    PINPRINT_RETURN_IF_FAILED(Prefix(kXsiUri, xsi));
    ComRef<IXMLDOMElement> value;
    PINPRINT_RETURN_IF_FAILED(Element(L"Value", {}, value));
    // An attribute in a namespace is made as a node of that namespace: a prefix alone would
    // not bind it while the element is not yet in the document.
    Bstr qualified;
    Bstr xsiUri;
    PINPRINT_RETURN_IF_FAILED(qualified.Assign(xsi, L":type"));
    PINPRINT_RETURN_IF_FAILED(xsiUri.Assign(kXsiUri));
    ComRef<IXMLDOMNode> node;
    ComRef<IXMLDOMAttribute> attribute;
    ComRef<IXMLDOMAttribute> replaced;
    VARIANT kind;
    kind.vt = VT_I4;
    kind.lVal = NODE_ATTRIBUTE;
    PINPRINT_RETURN_IF_FAILED(
        document_->createNode(kind, qualified.get(), xsiUri.get(), node.put()));
    PINPRINT_RETURN_IF_FAILED(
        node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(attribute.put())));
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = typeName.get();
    PINPRINT_RETURN_IF_FAILED(attribute->put_value(v));
    PINPRINT_RETURN_IF_FAILED(value->setAttributeNode(attribute.get(), replaced.put()));
    if (!text.empty()) {
        Bstr content;
        PINPRINT_RETURN_IF_FAILED(content.Assign(text));
        PINPRINT_RETURN_IF_FAILED(value->put_text(content.get()));
    }
    return Append(parent, value.get());
}

HRESULT Writer::Property(IXMLDOMElement* parent, const wchar_t* uri, const wchar_t* local,
                         const wchar_t* type, std::wstring_view text) {
    ComRef<IXMLDOMElement> property;
    PINPRINT_RETURN_IF_FAILED(Named(L"Property", uri, local, property));
    PINPRINT_RETURN_IF_FAILED(Value(property.get(), type, text));
    return Append(parent, property.get());
}

HRESULT Writer::Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    ComRef<IXMLDOMNode> added;
    return parent->appendChild(child, added.put());
}

HRESULT Writer::Place(IXMLDOMElement* element, IXMLDOMElement* old) {
    if (old == nullptr) {
        return Append(root_.element.get(), element);
    }
    ComRef<IXMLDOMNode> replaced;
    return root_.element->replaceChild(element, old, replaced.put());
}

HRESULT Writer::Remove(IXMLDOMElement* element) {
    if (element == nullptr) {
        return S_OK;
    }
    ComRef<IXMLDOMNode> removed;
    return root_.element->removeChild(element, removed.put());
}

}  // namespace pinprint::ticket
