// The secure job in the printer's capabilities: the JobPasscode feature, the passcode parameter
// and the two names, with display names in the resource module's language.
#include <cwchar>
#include <string_view>
#include <utility>

#include "config/driver_files.h"
#include "config/driver_options.h"
#include "module/plugin_module.h"
#include "resmodule/resource_ids.h"
#include "rules/name_rules.h"
#include "ticket/print_schema.h"
#include "ticket/secure_job.h"
#include "ticket/ticket_provider.h"

namespace pinprint::ticket {
namespace {

constexpr int kDisplayNameChars = 256;

enum DisplayName { kFeatureName, kOnName, kOffName, kPasscodeName, kUserLabel, kJobLabel, kCount };

constexpr UINT kDisplayNameIds[kCount] = {IDS_TICKET_SECURE_PRINT, IDS_TICKET_ON,
                                          IDS_TICKET_OFF,          IDS_TICKET_PASSCODE,
                                          IDS_TICKET_USER_NAME,    IDS_TICKET_JOB_NAME};

// The display names from the resource module the pages use, loaded and freed here. A name the
// module lacks (or a module that cannot be had) stays empty, and its property is left out: the
// schema's keywords then name the item.
void LoadDisplayNames(HANDLE printer, wchar_t (&names)[kCount][kDisplayNameChars]) {
    for (auto& name : names) {
        name[0] = L'\0';
    }
    wchar_t path[kPathChars] = {};
    if (GetModuleFileNameW(OwnModuleHandle(), path, kPathChars) == 0) {
        return;
    }
    BuildResourceModulePath(printer, path);
    const HMODULE module = path[0] != L'\0' ? LoadLibraryW(path) : nullptr;
    if (module == nullptr) {
        return;
    }
    for (int i = 0; i < kCount; ++i) {
        if (LoadStringW(module, kDisplayNameIds[i], names[i], kDisplayNameChars) <= 0) {
            names[i][0] = L'\0';
        }
    }
    FreeLibrary(module);
}

HRESULT DisplayNameProperty(Writer& writer, IXMLDOMElement* parent, const wchar_t* name) {
    return name[0] == L'\0' ? S_OK
                            : writer.Property(parent, kPskUri, L"DisplayName", L"string", name);
}

// A ParameterDef of a string of `minLength` to `maxLength` characters, optional, empty by
// default.
HRESULT StringParameter(Writer& writer, const wchar_t* uri, const wchar_t* keyword, int minLength,
                        int maxLength, const wchar_t* unit, const wchar_t* displayName,
                        ComRef<IXMLDOMElement>& def) {
    wchar_t minText[16];
    wchar_t maxText[16];
    swprintf(minText, 16, L"%d", minLength);
    swprintf(maxText, 16, L"%d", maxLength);
    Bstr string;
    Bstr optional;
    PINPRINT_RETURN_IF_FAILED(writer.Name(kXsdUri, L"string", string));
    PINPRINT_RETURN_IF_FAILED(writer.Name(kPskUri, L"Optional", optional));
    PINPRINT_RETURN_IF_FAILED(writer.Named(L"ParameterDef", uri, keyword, def));
    const struct {
        const wchar_t* property;
        const wchar_t* type;
        std::wstring_view text;
    } properties[] = {
        {L"DataType", L"QName", string.view()},    {L"DefaultValue", L"string", L""},
        {L"MaxLength", L"integer", maxText},       {L"MinLength", L"integer", minText},
        {L"Mandatory", L"QName", optional.view()}, {L"UnitType", L"string", unit}};
    for (const auto& p : properties) {
        PINPRINT_RETURN_IF_FAILED(writer.Property(def.get(), kPsfUri, p.property, p.type, p.text));
    }
    return DisplayNameProperty(writer, def.get(), displayName);
}

}  // namespace

HRESULT CompletePrintCapabilities(HANDLE printer, IXMLDOMDocument2* capabilities) {
    if (capabilities == nullptr) {
        return E_POINTER;
    }
    Root root;
    PINPRINT_RETURN_IF_FAILED(ReadRoot(capabilities, L"PrintCapabilities", root));
    if (!root.element) {
        return E_PRINTCAPABILITIES_FORMAT;
    }
    const DriverOptions options = ReadDriverOptions(printer);
    if ((options & DRVOPT_SECURE_PAGE) == 0) {
        return S_OK;
    }
    Items items;
    const HRESULT found = FindItems(root, L"ParameterDef", items);
    if (found == E_PRINTTICKET_FORMAT) {
        return E_PRINTCAPABILITIES_FORMAT;  // a name of the secure job that cannot be read
    }
    PINPRINT_RETURN_IF_FAILED(found);
    wchar_t names[kCount][kDisplayNameChars];
    LoadDisplayNames(printer, names);

    // Every new element is built before the first one goes in.
    Writer writer(capabilities, root);
    ComRef<IXMLDOMElement> built[kItemCount];
    Bstr pickOne;
    PINPRINT_RETURN_IF_FAILED(writer.Name(kPskUri, L"PickOne", pickOne));
    PINPRINT_RETURN_IF_FAILED(
        writer.Named(L"Feature", kPskV11Uri, kJobPasscode, built[kPasscodeItem]));
    IXMLDOMElement* feature = built[kPasscodeItem].get();
    PINPRINT_RETURN_IF_FAILED(
        writer.Property(feature, kPsfUri, L"SelectionType", L"QName", pickOne.view()));
    PINPRINT_RETURN_IF_FAILED(DisplayNameProperty(writer, feature, names[kFeatureName]));
    for (const auto& [keyword, displayName] :
         {std::pair{kOn, kOnName}, std::pair{kOff, kOffName}}) {
        ComRef<IXMLDOMElement> option;
        PINPRINT_RETURN_IF_FAILED(writer.Named(L"Option", kPskUri, keyword, option));
        PINPRINT_RETURN_IF_FAILED(DisplayNameProperty(writer, option.get(), names[displayName]));
        PINPRINT_RETURN_IF_FAILED(Writer::Append(feature, option.get()));
    }
    const int nameLimit = NameLimitFor(options);
    PINPRINT_RETURN_IF_FAILED(StringParameter(writer, kPskV11Uri, kJobPasscodeString, 4, 4,
                                              L"numeric", names[kPasscodeName],
                                              built[kPasscodeStringItem]));
    PINPRINT_RETURN_IF_FAILED(StringParameter(writer, kPinPrintUri, kUserName, 1, nameLimit,
                                              L"characters", names[kUserLabel],
                                              built[kUserNameItem]));
    PINPRINT_RETURN_IF_FAILED(StringParameter(writer, kPinPrintUri, kJobName, 1, nameLimit,
                                              L"characters", names[kJobLabel],
                                              built[kJobNameItem]));

    for (int i = 0; i < kItemCount; ++i) {
        PINPRINT_RETURN_IF_FAILED(writer.Place(built[i].get(), items.first[i].get()));
    }
    const Keep first[kItemCount] = {Keep::First, Keep::First, Keep::First, Keep::First};
    return items.duplicates > 0 ? Prune(root, L"ParameterDef", first) : S_OK;
}

}  // namespace pinprint::ticket
