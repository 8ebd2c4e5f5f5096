// Small tools over MSXML's DOM for the PrintTicket provider: owners for interface references
// and BSTRs, the Print Schema's qualified names resolved against the namespaces in scope, and
// the creation of the framework's elements.
//
// Qualified names in Print Schema documents are attribute values ("psk:On"), so the document's
// own declarations decide what they stand for. The declarations are read from the root element's
// attribute list (where Print Schema documents keep them, and where a declaration added through
// setAttribute shows even on DOMs that do not bind it), and from an element's own attributes.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pinprint::ticket {

// One reference to a COM interface, released once.
template <typename T>
class ComRef {
  public:
    ComRef() = default;
    // A reference of its own to `p`.
    static ComRef Share(T* p) {
        ComRef ref;
        if (p != nullptr) {
            p->AddRef();
            ref.p_ = p;
        }
        return ref;
    }
    ComRef(const ComRef& other) : p_(other.p_) {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComRef() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_ != nullptr) {
            std::exchange(p_, nullptr)->Release();
        }
    }

  private:
    T* p_ = nullptr;
};

// A BSTR owned until scope end. A PIN's text is wiped before it is given back.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text);  // null when the allocation fails
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr();

    BSTR get() const { return b_; }
    BSTR* put();
    // The text as a view: its full length, embedded NULs included; empty for null.
    std::wstring_view view() const;
    void WipeOnRelease() { wipe_ = true; }

  private:
    BSTR b_ = nullptr;
    bool wipe_ = false;
};

// A namespace declaration: prefix ("" for the default namespace) and URI.
struct Declaration {
    std::wstring prefix;
    std::wstring uri;
};

// The root element and the namespaces it declares.
struct Root {
    ComRef<IXMLDOMElement> element;
    std::vector<Declaration> declarations;

    // The URI `prefix` stands for at the root; empty when undeclared.
    std::wstring_view UriOf(std::wstring_view prefix) const;
    // A prefix declared for `uri` at the root; empty when none.
    std::wstring_view PrefixOf(std::wstring_view uri) const;
};

// The document's root when it is the framework's element `local` (PrintTicket,
// PrintCapabilities), with its declarations. S_FALSE when the document has another root or none.
HRESULT ReadRoot(IXMLDOMDocument2* document, const wchar_t* local, Root& root);

// True when `node` is an element of namespace `uri` with the local name `local`.
bool IsElement(IXMLDOMNode* node, const wchar_t* uri, const wchar_t* local);

// Whether the qualified name `qname`, read on `element`, stands for {uri}local. `depth` counts
// the elements from `element` up to the root, the root excluded (1 for the root's children).
bool QNameIs(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view qname,
             const wchar_t* uri, const wchar_t* local);

// The element's attribute `name` ("name"); empty when absent.
bool GetAttribute(IXMLDOMElement* element, const wchar_t* name, Bstr& value);

// The element's xsi:type attribute, however its prefix is spelled; empty when absent.
bool GetXsiType(const Root& root, IXMLDOMElement* element, Bstr& value);

// The first child element that is {uri}local, or null.
ComRef<IXMLDOMElement> FirstChildElement(IXMLDOMNode* parent, const wchar_t* uri,
                                         const wchar_t* local);

// Calls visit(element) for each child element of `parent`, in document order, until it
// answers false. Fails with MSXML's error when the children cannot be walked.
template <typename Visit>
HRESULT ForEachChildElement(IXMLDOMNode* parent, Visit&& visit) {
    ComRef<IXMLDOMNode> child;
    HRESULT hr = parent->get_firstChild(child.put());
    while (hr == S_OK && child) {
        DOMNodeType type = NODE_INVALID;
        if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT) {
            ComRef<IXMLDOMElement> element;
            if (SUCCEEDED(child->QueryInterface(IID_IXMLDOMElement,
                                                reinterpret_cast<void**>(element.put()))) &&
                !visit(element.get())) {
                return S_OK;
            }
        }
        ComRef<IXMLDOMNode> next;
        hr = child->get_nextSibling(next.put());
        child = std::move(next);
    }
    return FAILED(hr) ? hr : S_OK;
}

// Writes elements of the framework into one document with the prefixes the document uses,
// declaring at the root the namespaces it lacks. The first failure is kept and every later
// step does nothing, so a caller checks result() once at the end.
class Writer {
  public:
    explicit Writer(IXMLDOMDocument2* document, Root& root);

    HRESULT result() const { return hr_; }
    // "prefix:local" for a namespace the writer has declared.
    std::wstring Name(const wchar_t* uri, const wchar_t* local);

    // <psf:`local` name="`name`"/>, or without the name attribute when `name` is empty.
    ComRef<IXMLDOMElement> Element(const wchar_t* local, const std::wstring& name);
    // <psf:Value xsi:type="xsd:`type`">text</psf:Value> under `parent`.
    void Value(IXMLDOMElement* parent, const wchar_t* type, std::wstring_view text);
    // <psf:Property name="`name`"><psf:Value .../></psf:Property> under `parent`.
    void Property(IXMLDOMElement* parent, const std::wstring& name, const wchar_t* type,
                  std::wstring_view text);
    void Append(IXMLDOMNode* parent, IXMLDOMNode* child);
    // Puts `element` in the place of `old` (the first of its name), or at the end of the root.
    void Place(IXMLDOMElement* element, IXMLDOMElement* old);
    void Remove(IXMLDOMElement* element);

  private:
    std::wstring Declare(const wchar_t* uri, const wchar_t* preferred);

    IXMLDOMDocument2* document_;
    Root& root_;
    HRESULT hr_ = S_OK;
    std::wstring psf_, xsi_, xsd_;
};

}  // namespace pinprint::ticket
