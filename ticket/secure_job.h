// The secure job's four items in a Print Schema document: the JobPasscode feature, the
// JobPasscodeString parameter, and the plug-in's user-name and job-name parameters. Finding them
// among the root's children, reading their values, and the names as the page would hold them.
#pragma once

#include <windows.h>

#include <string_view>

#include "devmode/private_devmode.h"
#include "ticket/dom.h"

namespace pinprint::ticket {

enum Item { kPasscodeItem, kPasscodeStringItem, kUserNameItem, kJobNameItem, kItemCount };

// The first element of each item among the root's children, and how many later ones share a
// name with one of them.
struct Items {
    ComRef<IXMLDOMElement> first[kItemCount];
    int duplicates = 0;
};

// One walk over the root's children. `parameter` is the framework's parameter element of the
// document: "ParameterInit" in a ticket, "ParameterDef" in capabilities.
HRESULT FindItems(const Root& root, const wchar_t* parameter, Items& items);

// Which elements of an item stay when the document is pruned.
enum class Keep { First, None, All };

// One walk that removes, for each item, the elements its policy does not keep.
HRESULT Prune(const Root& root, const wchar_t* parameter, const Keep (&keep)[kItemCount]);

// The JobPasscode feature's selected option: `on` for psk:On, false for psk:Off, and
// E_PRINTTICKET_FORMAT for anything else.
HRESULT ReadChoice(const Root& root, IXMLDOMElement* feature, bool& on);

// A ParameterInit's value: its first psf:Value, which must be of type xsd:string. `value` stays
// null (and nothing is read) for any other shape.
HRESULT ReadString(const Root& root, IXMLDOMElement* parameter, ComRef<IXMLDOMElement>& value,
                   Bstr& text);

// The JobPasscodeString parameter's PIN, wiped when `pin` lets it go: a string value of exactly
// four ASCII digits, as the page accepts, and E_PRINTTICKET_FORMAT for anything else.
HRESULT ReadPin(const Root& root, IXMLDOMElement* parameter, Bstr& pin);

// `text` as the page's name edit would hold it had it been typed there under `options`: the
// characters the page keeps out dropped when `characterRules` (and always what no one-line edit
// or XML text can hold: control characters, U+FFFE, U+FFFF, half surrogate pairs), then cut at
// the page's limit, a pair never cut in two, and without spaces at either end. Writes at most
// kNameChars characters and a NUL; `changed` tells whether anything was dropped or cut.
size_t PageName(std::wstring_view text, DWORD options, bool characterRules,
                wchar_t (&name)[kNameChars + 1], bool& changed);

}  // namespace pinprint::ticket
