#include "ticket/dom.h"

#include "ticket/print_schema.h"

namespace pinprint::ticket {
namespace {

constexpr std::wstring_view kXmlns = L"xmlns";

std::wstring_view ViewOf(BSTR b) {
    return b != nullptr ? std::wstring_view(b, SysStringLen(b)) : std::wstring_view();
}

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

// Every attribute of `element` as name and text.
HRESULT ReadAttributes(IXMLDOMElement* element, std::vector<Declaration>& attributes) {
    ComRef<IXMLDOMNamedNodeMap> map;
    HRESULT hr = element->get_attributes(map.put());
    long count = 0;
    if (SUCCEEDED(hr) && map) {
        hr = map->get_length(&count);
    }
    for (long i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComRef<IXMLDOMNode> attribute;
        Bstr name;
        Bstr text;
        hr = map->get_item(i, attribute.put());
        if (SUCCEEDED(hr) && attribute) {
            hr = attribute->get_nodeName(name.put());
        }
        if (SUCCEEDED(hr) && attribute) {
            hr = attribute->get_text(text.put());
        }
        if (SUCCEEDED(hr)) {
            attributes.push_back({std::wstring(name.view()), std::wstring(text.view())});
        }
    }
    return hr;
}

// The URI that `prefix` stands for on `element` itself, from a declaration among its attributes.
bool LocalDeclaration(IXMLDOMElement* element, std::wstring_view prefix, Bstr& uri) {
    std::wstring name(kXmlns);
    if (!prefix.empty()) {
        name.append(L":").append(prefix);
    }
    return GetAttribute(element, name.c_str(), uri);
}

}  // namespace

Bstr::Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}

Bstr::~Bstr() {
    if (b_ != nullptr) {
        if (wipe_) {
            SecureZeroMemory(b_, SysStringLen(b_) * sizeof(wchar_t));
        }
        SysFreeString(b_);
    }
}

BSTR* Bstr::put() {
    if (b_ != nullptr) {
        SysFreeString(std::exchange(b_, nullptr));
    }
    return &b_;
}

std::wstring_view Bstr::view() const {
    return ViewOf(b_);
}

std::wstring_view Root::UriOf(std::wstring_view prefix) const {
    for (const auto& d : declarations) {
        if (d.prefix == prefix) {
            return d.uri;
        }
    }
    return {};
}

std::wstring_view Root::PrefixOf(std::wstring_view uri) const {
    for (const auto& d : declarations) {
        if (d.uri == uri && !d.prefix.empty()) {
            return d.prefix;
        }
    }
    return {};
}

HRESULT ReadRoot(IXMLDOMDocument2* document, const wchar_t* local, Root& root) {
    HRESULT hr = document->get_documentElement(root.element.put());
    if (hr != S_OK || !root.element) {
        return FAILED(hr) ? hr : S_FALSE;
    }
    if (!IsElement(root.element.get(), kPsfUri, local)) {
        return S_FALSE;
    }
    std::vector<Declaration> attributes;
    hr = ReadAttributes(root.element.get(), attributes);
    for (auto& attribute : attributes) {
        std::wstring_view prefix;
        if (DeclaredPrefix(attribute.prefix, prefix)) {
            root.declarations.push_back({std::wstring(prefix), std::move(attribute.uri)});
        }
    }
    return FAILED(hr) ? hr : S_OK;
}

bool IsElement(IXMLDOMNode* node, const wchar_t* uri, const wchar_t* local) {
    Bstr name;
    if (FAILED(node->get_baseName(name.put())) || name.view() != local) {
        return false;
    }
    Bstr ns;
    return SUCCEEDED(node->get_namespaceURI(ns.put())) && ns.view() == uri;
}

bool QNameIs(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view qname,
             const wchar_t* uri, const wchar_t* local) {
    const auto [prefix, name] = Split(qname);
    if (name != local) {
        return false;
    }
    // Declarations on the element and its parents below the root come first, then the root's.
    ComRef<IXMLDOMElement> current = ComRef<IXMLDOMElement>::Share(element);
    for (int level = 0; level < depth && current; ++level) {
        Bstr declared;
        if (LocalDeclaration(current.get(), prefix, declared)) {
            return declared.view() == uri;
        }
        ComRef<IXMLDOMNode> parent;
        if (level + 1 < depth && SUCCEEDED(current->get_parentNode(parent.put())) && parent) {
            parent->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(current.put()));
        } else {
            current.reset();
        }
    }
    return root.UriOf(prefix) == uri;
}

bool GetAttribute(IXMLDOMElement* element, const wchar_t* name, Bstr& value) {
    Bstr attributeName(name);
    VARIANT v;
    v.vt = VT_EMPTY;
    if (attributeName.get() == nullptr || element->getAttribute(attributeName.get(), &v) != S_OK ||
        v.vt != VT_BSTR) {
        return false;
    }
    *value.put() = v.bstrVal;  // the variant's string now belongs to `value`
    return true;
}

bool GetXsiType(const Root& root, IXMLDOMElement* element, Bstr& value) {
    std::vector<Declaration> attributes;
    if (FAILED(ReadAttributes(element, attributes))) {
        return false;
    }
    for (const auto& attribute : attributes) {
        const auto [prefix, name] = Split(attribute.prefix);
        if (name != L"type" || prefix.empty() || prefix == kXmlns) {
            continue;
        }
        std::wstring_view uri = root.UriOf(prefix);
        for (const auto& local : attributes) {
            std::wstring_view declared;
            if (DeclaredPrefix(local.prefix, declared) && declared == prefix) {
                uri = local.uri;
            }
        }
        if (uri == kXsiUri) {
            *value.put() =
                SysAllocStringLen(attribute.uri.data(), static_cast<UINT>(attribute.uri.size()));
            return value.get() != nullptr;
        }
    }
    return false;
}

ComRef<IXMLDOMElement> FirstChildElement(IXMLDOMNode* parent, const wchar_t* uri,
                                         const wchar_t* local) {
    ComRef<IXMLDOMElement> found;
    ForEachChildElement(parent, [&](IXMLDOMElement* element) {
        if (!IsElement(element, uri, local)) {
            return true;
        }
        found = ComRef<IXMLDOMElement>::Share(element);
        return false;
    });
    return found;
}

Writer::Writer(IXMLDOMDocument2* document, Root& root) : document_(document), root_(root) {
    psf_ = Declare(kPsfUri, kPsfPrefix);
}

std::wstring Writer::Declare(const wchar_t* uri, const wchar_t* preferred) {
    for (const auto& d : root_.declarations) {
        if (d.uri == uri) {
            return d.prefix;
        }
    }
    std::wstring prefix = preferred;
    for (int n = 1; !root_.UriOf(prefix).empty(); ++n) {
        prefix = std::wstring(preferred) + std::to_wstring(n);
    }
    if (FAILED(hr_)) {
        return prefix;
    }
    Bstr name((std::wstring(kXmlns) + L":" + prefix).c_str());
    Bstr text(uri);
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = text.get();
    hr_ = name.get() == nullptr || text.get() == nullptr
              ? E_OUTOFMEMORY
              : root_.element->setAttribute(name.get(), v);
    if (SUCCEEDED(hr_)) {
        root_.declarations.push_back({prefix, uri});
    }
    return prefix;
}

std::wstring Writer::Name(const wchar_t* uri, const wchar_t* local) {
    static constexpr std::pair<const wchar_t*, const wchar_t*> kPreferred[] = {
        {kPsfUri, kPsfPrefix},
        {kPskUri, kPskPrefix},
        {kPskV11Uri, kPskV11Prefix},
        {kXsdUri, kXsdPrefix},
        {kPinPrintUri, kPinPrintPrefix}};
    const wchar_t* preferred = kPinPrintPrefix;
    for (const auto& [known, prefix] : kPreferred) {
        if (std::wstring_view(known) == uri) {
            preferred = prefix;
        }
    }
    const std::wstring prefix = Declare(uri, preferred);
    return prefix.empty() ? std::wstring(local) : prefix + L":" + local;
}

ComRef<IXMLDOMElement> Writer::Element(const wchar_t* local, const std::wstring& name) {
    ComRef<IXMLDOMElement> element;
    if (FAILED(hr_)) {
        return element;
    }
    Bstr qualified((psf_.empty() ? std::wstring(local) : psf_ + L":" + local).c_str());
    Bstr uri(kPsfUri);
    ComRef<IXMLDOMNode> node;
    VARIANT type;
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    hr_ = qualified.get() == nullptr || uri.get() == nullptr
              ? E_OUTOFMEMORY
              : document_->createNode(type, qualified.get(), uri.get(), node.put());
    if (SUCCEEDED(hr_)) {
        hr_ = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put()));
    }
    if (SUCCEEDED(hr_) && !name.empty()) {
        Bstr attribute(L"name");
        Bstr value(name.c_str());
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = value.get();
        hr_ = attribute.get() == nullptr || value.get() == nullptr
                  ? E_OUTOFMEMORY
                  : element->setAttribute(attribute.get(), v);
    }
    if (FAILED(hr_)) {
        element.reset();
    }
    return element;
}

void Writer::Value(IXMLDOMElement* parent, const wchar_t* type, std::wstring_view text) {
    if (xsi_.empty() && SUCCEEDED(hr_)) {
        xsi_ = Declare(kXsiUri, kXsiPrefix);
    }
    const std::wstring typeName = Name(kXsdUri, type);
    ComRef<IXMLDOMElement> value = Element(L"Value", {});
    if (FAILED(hr_)) {
        return;
    }
    // An attribute in a namespace is made as a node of that namespace: a prefix alone would
    // not bind it while the element is not yet in the document.
    Bstr attributeName((xsi_ + L":type").c_str());
    Bstr xsiUri(kXsiUri);
    Bstr typeText(typeName.c_str());
    ComRef<IXMLDOMNode> node;
    ComRef<IXMLDOMAttribute> attribute;
    ComRef<IXMLDOMAttribute> replaced;
    VARIANT kind;
    kind.vt = VT_I4;
    kind.lVal = NODE_ATTRIBUTE;
    hr_ = attributeName.get() == nullptr || xsiUri.get() == nullptr || typeText.get() == nullptr
              ? E_OUTOFMEMORY
              : document_->createNode(kind, attributeName.get(), xsiUri.get(), node.put());
    if (SUCCEEDED(hr_)) {
        hr_ = node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(attribute.put()));
    }
    if (SUCCEEDED(hr_)) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = typeText.get();
        hr_ = attribute->put_value(v);
    }
    if (SUCCEEDED(hr_)) {
        hr_ = value->setAttributeNode(attribute.get(), replaced.put());
    }
    if (SUCCEEDED(hr_) && !text.empty()) {
        Bstr content(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
        hr_ = content.get() == nullptr ? E_OUTOFMEMORY : value->put_text(content.get());
    }
    Append(parent, value.get());
}

void Writer::Property(IXMLDOMElement* parent, const std::wstring& name, const wchar_t* type,
                      std::wstring_view text) {
    ComRef<IXMLDOMElement> property = Element(L"Property", name);
    Value(property.get(), type, text);
    Append(parent, property.get());
}

void Writer::Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    if (FAILED(hr_) || parent == nullptr || child == nullptr) {
        return;
    }
    ComRef<IXMLDOMNode> added;
    hr_ = parent->appendChild(child, added.put());
}

void Writer::Place(IXMLDOMElement* element, IXMLDOMElement* old) {
    if (old == nullptr) {
        Append(root_.element.get(), element);
        return;
    }
    if (FAILED(hr_)) {
        return;
    }
    ComRef<IXMLDOMNode> replaced;
    hr_ = root_.element->replaceChild(element, old, replaced.put());
}

void Writer::Remove(IXMLDOMElement* element) {
    if (FAILED(hr_) || element == nullptr) {
        return;
    }
    ComRef<IXMLDOMNode> removed;
    hr_ = root_.element->removeChild(element, removed.put());
}

}  // namespace pinprint::ticket
