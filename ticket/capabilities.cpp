// The secure job in the printer's capabilities: the JobPasscode feature, the passcode parameter
// and the two names, with display names in the resource module's language.
#include <string>

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
void LoadDisplayNames(HANDLE printer, std::wstring (&names)[kCount]) {
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
        wchar_t text[kDisplayNameChars] = {};
        if (LoadStringW(module, kDisplayNameIds[i], text, kDisplayNameChars) > 0) {
            names[i] = text;
        }
    }
    FreeLibrary(module);
}

void DisplayNameProperty(Writer& writer, IXMLDOMElement* parent, const std::wstring& name) {
    if (!name.empty()) {
        writer.Property(parent, writer.Name(kPskUri, L"DisplayName"), L"string", name);
    }
}

// A ParameterDef of a string of `minLength` to `maxLength` characters, optional, empty by
// default.
ComRef<IXMLDOMElement> StringParameter(Writer& writer, const std::wstring& name, int minLength,
                                       int maxLength, const wchar_t* unit,
                                       const std::wstring& displayName) {
    ComRef<IXMLDOMElement> def = writer.Element(L"ParameterDef", name);
    const auto psf = [&writer](const wchar_t* local) { return writer.Name(kPsfUri, local); };
    writer.Property(def.get(), psf(L"DataType"), L"QName", writer.Name(kXsdUri, L"string"));
    writer.Property(def.get(), psf(L"DefaultValue"), L"string", L"");
    writer.Property(def.get(), psf(L"MaxLength"), L"integer", std::to_wstring(maxLength));
    writer.Property(def.get(), psf(L"MinLength"), L"integer", std::to_wstring(minLength));
    writer.Property(def.get(), psf(L"Mandatory"), L"QName", writer.Name(kPskUri, L"Optional"));
    writer.Property(def.get(), psf(L"UnitType"), L"string", unit);
    DisplayNameProperty(writer, def.get(), displayName);
    return def;
}

}  // namespace

HRESULT CompletePrintCapabilities(HANDLE printer, IXMLDOMDocument2* capabilities) {
    if (capabilities == nullptr) {
        return E_POINTER;
    }
    Root root;
    HRESULT hr = ReadRoot(capabilities, L"PrintCapabilities", root);
    if (hr != S_OK) {
        return FAILED(hr) ? hr : E_PRINTCAPABILITIES_FORMAT;
    }
    const DriverOptions options = ReadDriverOptions(printer);
    if ((options & DRVOPT_SECURE_PAGE) == 0) {
        return S_OK;
    }
    Items items;
    hr = FindItems(root, L"ParameterDef", items);
    if (FAILED(hr)) {
        return hr;
    }
    std::wstring names[kCount];
    LoadDisplayNames(printer, names);

    Writer writer(capabilities, root);
    ComRef<IXMLDOMElement> built[kItemCount];
    built[kPasscodeItem] = writer.Element(L"Feature", writer.Name(kPskV11Uri, kJobPasscode));
    IXMLDOMElement* feature = built[kPasscodeItem].get();
    writer.Property(feature, writer.Name(kPsfUri, L"SelectionType"), L"QName",
                    writer.Name(kPskUri, L"PickOne"));
    DisplayNameProperty(writer, feature, names[kFeatureName]);
    for (const auto& [keyword, displayName] :
         {std::pair{kOn, kOnName}, std::pair{kOff, kOffName}}) {
        const ComRef<IXMLDOMElement> option =
            writer.Element(L"Option", writer.Name(kPskUri, keyword));
        DisplayNameProperty(writer, option.get(), names[displayName]);
        writer.Append(feature, option.get());
    }
    built[kPasscodeStringItem] =
        StringParameter(writer, writer.Name(kPskV11Uri, kJobPasscodeString), 4, 4, L"numeric",
                        names[kPasscodeName]);
    const int nameLimit = NameLimitFor(options);
    built[kUserNameItem] = StringParameter(writer, writer.Name(kPinPrintUri, kUserName), 1,
                                           nameLimit, L"characters", names[kUserLabel]);
    built[kJobNameItem] = StringParameter(writer, writer.Name(kPinPrintUri, kJobName), 1, nameLimit,
                                          L"characters", names[kJobLabel]);
    if (FAILED(writer.result())) {
        return writer.result();
    }
    for (int i = 0; i < kItemCount; ++i) {
        writer.Place(built[i].get(), items.first[i].get());
    }
    for (const auto& duplicate : items.duplicates) {
        writer.Remove(duplicate.second.get());
    }
    return writer.result();
}

}  // namespace pinprint::ticket
