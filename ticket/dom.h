// Small tools over MSXML's DOM for the PrintTicket provider: owners for interface references
// and BSTRs, the Print Schema's qualified names resolved against the namespaces in scope, and
// the creation of the framework's elements.
//
// Every operation reports failure as an HRESULT, allocation failure as E_OUTOFMEMORY: nothing
// throws, and nothing allocates through the C++ library, whose exceptions would leave the
// runtime's per-thread blocks behind in the host process.
//
// Qualified names in Print Schema documents are attribute values ("psk:On"), so the document's
// own declarations decide what they stand for. A prefix is looked up on the element and its
// parents below the root (one getAttribute each), then in the root's declarations, which each
// operation reads once into a sorted table: a ticket with thousands of declarations and items
// costs one walk of the root's attributes, not one per item. The table reads them from the
// root's attribute list (where a declaration added through setAttribute shows even on DOMs that
// do not bind it), and the writer adds its own declarations to it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string_view>
#include <utility>

namespace pinprint::ticket {

#define PINPRINT_RETURN_IF_FAILED(expression) \
    do {                                      \
        const HRESULT hr_ = (expression);     \
        if (FAILED(hr_)) {                    \
            return hr_;                       \
        }                                     \
    } while (0)

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
    Bstr(Bstr&& other) noexcept
        : b_(std::exchange(other.b_, nullptr)), wipe_(std::exchange(other.wipe_, false)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(b_, other.b_);
        std::swap(wipe_, other.wipe_);
        return *this;
    }
    ~Bstr();

    // The concatenation of the parts; E_OUTOFMEMORY (and nothing held) when it cannot be had.
    HRESULT Assign(std::wstring_view a, std::wstring_view b = {}, std::wstring_view c = {});
    BSTR get() const { return b_; }
    BSTR* put();
    // The string, now the caller's to free.
    BSTR Detach() { return std::exchange(b_, nullptr); }
    // The text as a view: its full length, embedded NULs included; empty for null.
    std::wstring_view view() const;
    void WipeOnRelease() { wipe_ = true; }

  private:
    BSTR b_ = nullptr;
    bool wipe_ = false;
};

// The namespaces an element declares, by prefix (empty for the default namespace), read once.
class Declarations {
  public:
    Declarations() = default;
    ~Declarations();
    Declarations(const Declarations&) = delete;
    Declarations& operator=(const Declarations&) = delete;

    // The declarations among `element`'s attributes, in place of any read before.
    HRESULT Read(IXMLDOMElement* element);
    // The URI declared for `prefix`; false when there is none.
    bool Find(std::wstring_view prefix, std::wstring_view& uri) const;
    // A prefix declared for `uri`, not the empty one when `named` (attributes, such as xsi:type,
    // take no default namespace); false when there is none.
    bool FindPrefix(std::wstring_view uri, bool named, std::wstring_view& prefix) const;
    // A declaration the writer has just made on the element; at most kAdded of them.
    HRESULT Add(std::wstring_view prefix, std::wstring_view uri);
    // Whether an attribute of the element could not be read: a prefix found nowhere may then
    // be declared there after all.
    bool incomplete() const { return incomplete_; }

    static constexpr int kAdded = 6;

  private:
    struct Entry {
        BSTR prefix;
        BSTR uri;
    };
    static std::wstring_view View(BSTR b);
    void Clear();

    Entry* read_ = nullptr;  // sorted by prefix
    long readCount_ = 0;
    Entry added_[kAdded] = {};
    int addedCount_ = 0;
    bool incomplete_ = false;
};

// The document's root element and its declarations. `element` is null unless the root is the
// framework's element the caller asked for.
struct Root {
    ComRef<IXMLDOMElement> element;
    Declarations declarations;
};

// The document's root when it is the framework's element `local` (PrintTicket,
// PrintCapabilities); `root.element` stays null for any other root, or none.
HRESULT ReadRoot(IXMLDOMDocument2* document, const wchar_t* local, Root& root);

// Whether `node` is an element of namespace `uri` with the local name `local`.
HRESULT IsElement(IXMLDOMNode* node, const wchar_t* uri, const wchar_t* local, bool& is);

// Whether the qualified name `qname`, read on `element`, stands for {uri}local. `depth` counts
// the elements from `element` up to the root, the root excluded (1 for the root's children).
// E_PRINTTICKET_FORMAT when the local name is `local` but the prefix is declared nowhere the
// root's incomplete table could tell.
HRESULT QNameIs(const Root& root, IXMLDOMElement* element, int depth, std::wstring_view qname,
                const wchar_t* uri, const wchar_t* local, bool& is);

// The element's attribute `name`; `value` stays null when there is none.
HRESULT GetAttribute(IXMLDOMElement* element, std::wstring_view name, Bstr& value);

// The element's xsi:type attribute, wherever its prefix is declared: by its namespace where the
// DOM bound it, else by a name whose prefix stands for XSI on the element (`depth` as for
// QNameIs); null when absent.
HRESULT GetXsiType(const Root& root, IXMLDOMElement* element, int depth, Bstr& value);

// Calls visit(element) for each child element of `parent`, in document order: S_OK goes on,
// S_FALSE stops, a failure stops and is returned. The next sibling is found before the visit,
// so the visit may remove the element it is given.
template <typename Visit>
HRESULT ForEachChildElement(IXMLDOMNode* parent, Visit&& visit) {
    ComRef<IXMLDOMNode> child;
    PINPRINT_RETURN_IF_FAILED(parent->get_firstChild(child.put()));
    while (child) {
        ComRef<IXMLDOMNode> next;
        PINPRINT_RETURN_IF_FAILED(child->get_nextSibling(next.put()));
        DOMNodeType type = NODE_INVALID;
        PINPRINT_RETURN_IF_FAILED(child->get_nodeType(&type));
        if (type == NODE_ELEMENT) {
            ComRef<IXMLDOMElement> element;
            PINPRINT_RETURN_IF_FAILED(
                child->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put())));
            const HRESULT hr = visit(element.get());
            if (hr != S_OK) {
                return FAILED(hr) ? hr : S_OK;
            }
        }
        child = std::move(next);
    }
    return S_OK;
}

// The first child element that is {uri}local; null when there is none.
HRESULT FirstChildElement(IXMLDOMNode* parent, const wchar_t* uri, const wchar_t* local,
                          ComRef<IXMLDOMElement>& found);

// Writes elements of the framework into one document with the prefixes the document uses,
// declaring at the root the namespaces it lacks.
class Writer {
  public:
    Writer(IXMLDOMDocument2* document, Root& root) : document_(document), root_(root) {}

    // "prefix:local", the namespace declared at the root when it was not. `uri` is one of the
    // namespaces of print_schema.h.
    HRESULT Name(const wchar_t* uri, const wchar_t* local, Bstr& name);

    // <psf:`local` name="`name`"/> (no name attribute for an empty one), not yet in the document.
    HRESULT Element(const wchar_t* local, std::wstring_view name, ComRef<IXMLDOMElement>& element);
    // The same, named {uri}keyword.
    HRESULT Named(const wchar_t* local, const wchar_t* uri, const wchar_t* keyword,
                  ComRef<IXMLDOMElement>& element);
    // <psf:Value xsi:type="xsd:`type`">text</psf:Value> under `parent`.
    HRESULT Value(IXMLDOMElement* parent, const wchar_t* type, std::wstring_view text);
    // <psf:Property name="{uri}local"><psf:Value .../></psf:Property> under `parent`.
    HRESULT Property(IXMLDOMElement* parent, const wchar_t* uri, const wchar_t* local,
                     const wchar_t* type, std::wstring_view text);
    static HRESULT Append(IXMLDOMNode* parent, IXMLDOMNode* child);
    // Puts `element` in the place of `old`, or at the end of the root when there is none.
    HRESULT Place(IXMLDOMElement* element, IXMLDOMElement* old);
    HRESULT Remove(IXMLDOMElement* element);

  private:
    HRESULT Prefix(const wchar_t* uri, std::wstring_view& prefix);

    static constexpr int kNamespaces = 6;
    IXMLDOMDocument2* document_;
    Root& root_;
    Bstr prefixes_[kNamespaces];
    bool known_[kNamespaces] = {};
};

}  // namespace pinprint::ticket
