#include "ticket/dom.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/print_ticket_provider.h"
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

// Calls visit(attribute) for each attribute of `element`: S_OK goes on, anything else stops.
// An attribute the DOM cannot hand out is passed over and counted in `*skipped`: Wine's DOM
// fails so on every declaration of a default namespace (and getAttribute does not read one).
template <typename Visit>
HRESULT ForEachAttribute(IXMLDOMElement* element, Visit&& visit, bool* skipped = nullptr) {
    ComRef<IXMLDOMNamedNodeMap> map;
    PINPRINT_RETURN_IF_FAILED(element->get_attributes(map.put()));
    long count = 0;
    if (map) {
        PINPRINT_RETURN_IF_FAILED(map->get_length(&count));
    }
    for (long i = 0; i < count; ++i) {
        ComRef<IXMLDOMNode> attribute;
        if (FAILED(map->get_item(i, attribute.put())) && skipped != nullptr) {
            *skipped = true;
        }
        if (!attribute) {
            continue;
        }
        const HRESULT hr = visit(attribute.get());
        if (hr != S_OK) {
            return FAILED(hr) ? hr : S_OK;
        }
    }
    return S_OK;
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

Declarations::~Declarations() {
    Clear();
}

std::wstring_view Declarations::View(BSTR b) {
    return std::wstring_view(b, SysStringLen(b));  // never null: every entry holds its strings
}

void Declarations::Clear() {
    for (long i = 0; i < readCount_; ++i) {
        SysFreeString(read_[i].prefix);
        SysFreeString(read_[i].uri);
    }
    CoTaskMemFree(read_);
    read_ = nullptr;
    readCount_ = 0;
    incomplete_ = false;
    for (int i = 0; i < addedCount_; ++i) {
        SysFreeString(std::exchange(added_[i].prefix, nullptr));
        SysFreeString(std::exchange(added_[i].uri, nullptr));
    }
    addedCount_ = 0;
}

HRESULT Declarations::Read(IXMLDOMElement* element) {
    Clear();
    ComRef<IXMLDOMNamedNodeMap> map;
    PINPRINT_RETURN_IF_FAILED(element->get_attributes(map.put()));
    long count = 0;
    if (map) {
        PINPRINT_RETURN_IF_FAILED(map->get_length(&count));
    }
    if (count <= 0) {
        return S_OK;
    }
    read_ = static_cast<Entry*>(CoTaskMemAlloc(static_cast<size_t>(count) * sizeof(Entry)));
    if (read_ == nullptr) {
        return E_OUTOFMEMORY;
    }
    // Each declaration's prefix and URI kept; the table is sorted once, for every look-up after.
    PINPRINT_RETURN_IF_FAILED(ForEachAttribute(
        element,
        [&](IXMLDOMNode* attribute) {
            Bstr name;
            std::wstring_view prefix;
            PINPRINT_RETURN_IF_FAILED(attribute->get_nodeName(name.put()));
            if (readCount_ == count || !DeclaredPrefix(name.view(), prefix)) {
                return S_OK;
            }
            Bstr kept;
            Bstr uri;
            PINPRINT_RETURN_IF_FAILED(kept.Assign(prefix));
            PINPRINT_RETURN_IF_FAILED(attribute->get_text(uri.put()));
            read_[readCount_++] = {kept.Detach(), uri.Detach()};
            return S_OK;
        },
        &incomplete_));
    std::sort(read_, read_ + readCount_,
              [](const Entry& a, const Entry& b) { return View(a.prefix) < View(b.prefix); });
    return S_OK;
}

bool Declarations::Find(std::wstring_view prefix, std::wstring_view& uri) const {
    for (int i = 0; i < addedCount_; ++i) {
        if (View(added_[i].prefix) == prefix) {
            uri = View(added_[i].uri);
            return true;
        }
    }
    const Entry* begin = read_;
    const Entry* end = read_ + readCount_;
    const Entry* found = std::lower_bound(
        begin, end, prefix, [](const Entry& e, std::wstring_view p) { return View(e.prefix) < p; });
    if (found == end || View(found->prefix) != prefix) {
        return false;
    }
    uri = View(found->uri);
    return true;
}

bool Declarations::FindPrefix(std::wstring_view uri, bool named, std::wstring_view& prefix) const {
    const auto search = [&](const Entry* entries, long count) {
        for (long i = 0; i < count; ++i) {
            if (View(entries[i].uri) == uri && (!named || SysStringLen(entries[i].prefix) > 0)) {
                prefix = View(entries[i].prefix);
                return true;
            }
        }
        return false;
    };
    return search(read_, readCount_) || search(added_, addedCount_);
}

HRESULT Declarations::Add(std::wstring_view prefix, std::wstring_view uri) {
    if (addedCount_ == kAdded) {
        return E_UNEXPECTED;
    }
    Bstr p;
    Bstr u;
    PINPRINT_RETURN_IF_FAILED(p.Assign(prefix));
    PINPRINT_RETURN_IF_FAILED(u.Assign(uri));
    added_[addedCount_++] = {p.Detach(), u.Detach()};
    return S_OK;
}

HRESULT ReadRoot(IXMLDOMDocument2* document, const wchar_t* local, Root& root) {
    ComRef<IXMLDOMElement> element;
    PINPRINT_RETURN_IF_FAILED(document->get_documentElement(element.put()));
    bool is = false;
    if (element) {
        PINPRINT_RETURN_IF_FAILED(IsElement(element.get(), kPsfUri, local, is));
    }
    if (!is) {
        return S_OK;
    }
    root.element = std::move(element);
    return root.declarations.Read(root.element.get());
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

namespace {

// The URI that `element`'s own attribute `name` ("xmlns:p", "xmlns") declares, read from its
// attribute list: getAttribute would do, but Wine's answers a declaration by searching every
// one in scope, the root's thousands included. `found` is false when it has none; `unreadable`
// tells that an attribute could not be read, which may have been that declaration.
HRESULT OwnDeclaration(IXMLDOMElement* element, std::wstring_view name, Bstr& uri, bool& found,
                       bool& unreadable) {
    found = false;
    return ForEachAttribute(
        element,
        [&](IXMLDOMNode* attribute) -> HRESULT {
            Bstr attributeName;
            PINPRINT_RETURN_IF_FAILED(attribute->get_nodeName(attributeName.put()));
            if (attributeName.view() != name) {
                return S_OK;
            }
            found = true;
            PINPRINT_RETURN_IF_FAILED(attribute->get_text(uri.put()));
            return S_FALSE;
        },
        &unreadable);
}

// What `prefix` stands for on `element`: the declarations on it and on its parents below the
// root (`depth` elements in all), then the root's. `uri` views `held` or the root's table;
// `found` is false when the prefix is declared nowhere. A well-formed document declares what it
// uses: a prefix found nowhere where a declaration could not be read may be that one, and is
// not guessed at (E_PRINTTICKET_FORMAT).
HRESULT InScope(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view prefix,
                Bstr& held, std::wstring_view& uri, bool& found) {
    Bstr declaration;
    PINPRINT_RETURN_IF_FAILED(prefix.empty() ? declaration.Assign(kXmlns)
                                             : declaration.Assign(kXmlns, L":", prefix));
    bool unreadable = root.declarations.incomplete();
    ComRef<IXMLDOMElement> current = ComRef<IXMLDOMElement>::Share(element);
    for (int level = 0; level < depth && current; ++level) {
        PINPRINT_RETURN_IF_FAILED(
            OwnDeclaration(current.get(), declaration.view(), held, found, unreadable));
        if (found) {
            uri = held.view();
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
    found = root.declarations.Find(prefix, uri);
    return found || !unreadable ? S_OK : E_PRINTTICKET_FORMAT;
}

}  // namespace

HRESULT QNameIs(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view qname,
                const wchar_t* uri, const wchar_t* local, bool& is) {
    const auto [prefix, name] = Split(qname);
    is = false;
    if (name != local) {
        return S_OK;
    }
    Bstr held;
    std::wstring_view declared;
    bool found = false;
    PINPRINT_RETURN_IF_FAILED(InScope(root, element, depth, prefix, held, declared, found));
    is = found && declared == uri;
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

HRESULT GetXsiType(const Root& root, IXMLDOMElement* element, int depth, Bstr& value) {
    value.put();
    ComRef<IXMLDOMNamedNodeMap> map;
    PINPRINT_RETURN_IF_FAILED(element->get_attributes(map.put()));
    if (!map) {
        return S_OK;
    }
    Bstr local;
    Bstr xsi;
    PINPRINT_RETURN_IF_FAILED(local.Assign(L"type"));
    PINPRINT_RETURN_IF_FAILED(xsi.Assign(kXsiUri));
    ComRef<IXMLDOMNode> bound;
    PINPRINT_RETURN_IF_FAILED(map->getQualifiedItem(local.get(), xsi.get(), bound.put()));
    if (bound) {
        return bound->get_text(value.put());
    }
    // An attribute added through a DOM may stand there by its name alone, in no namespace
    // (Wine's DOM leaves every one so, the provider's own included): "p:type" with p standing
    // for XSI where the attribute is. Attributes the parser bound were judged above.
    return ForEachAttribute(element, [&](IXMLDOMNode* attribute) -> HRESULT {
        Bstr ns;
        Bstr name;
        PINPRINT_RETURN_IF_FAILED(attribute->get_namespaceURI(ns.put()));
        if (!ns.view().empty()) {
            return S_OK;
        }
        PINPRINT_RETURN_IF_FAILED(attribute->get_nodeName(name.put()));
        const auto [prefix, rest] = Split(name.view());
        if (rest != L"type" || prefix.empty()) {
            return S_OK;
        }
        Bstr held;
        std::wstring_view uri;
        bool found = false;
        PINPRINT_RETURN_IF_FAILED(InScope(root, element, depth, prefix, held, uri, found));
        if (!found || uri != kXsiUri) {
            return S_OK;
        }
        PINPRINT_RETURN_IF_FAILED(attribute->get_text(value.put()));
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
        // The prefix the root declares for the namespace, else a free one declared there. An
        // attribute's prefix (xsi:type) must not be the empty one: the default namespace
        // applies to elements only.
        std::wstring_view declared;
        if (root_.declarations.FindPrefix(uri, uri == std::wstring_view(kXsiUri), declared)) {
            PINPRINT_RETURN_IF_FAILED(prefixes_[n].Assign(declared));
        } else {
            wchar_t free[32];
            swprintf(free, 32, L"%ls", kNamespaceList[n].second);
            std::wstring_view taken;
            for (int suffix = 1; root_.declarations.Find(free, taken); ++suffix) {
                swprintf(free, 32, L"%ls%d", kNamespaceList[n].second, suffix);
            }
            Bstr name;
            PINPRINT_RETURN_IF_FAILED(name.Assign(kXmlns, L":", free));
            PINPRINT_RETURN_IF_FAILED(SetAttribute(root_.element.get(), name.view(), uri));
            PINPRINT_RETURN_IF_FAILED(root_.declarations.Add(free, uri));
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
