#include "pages/property_sheets.h"

#include "config/driver_files.h"
#include "config/driver_options.h"
#include "module/plugin_module.h"
#include "pages/page_procs.h"
#include "pages/page_style.h"
#include "pages/sheet_context.h"
#include "resmodule/resource_ids.h"

namespace pinprint {
namespace {

// OEMUIPSPARAM.dwFlags bits (winddiui.h spells them DM_NOPERMISSION, DM_USER_DEFAULT and
// DPS_NOPERMISSION; MinGW's header lacks them).
constexpr DWORD kDocumentNoPermission = 0x20;
constexpr DWORD kDocumentUserDefault = 0x40;
constexpr DWORD kDeviceNoPermission = 0x1;

constexpr wchar_t kHeaderTitle[] = L"OEM UI Page";

enum class Sheet { Document, Device };

bool IsWindows2000() {
    // The SDK marks GetVersion deprecated because it reports the version this process is told,
    // compatibility settings included; that is the version this rule is about.
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    const DWORD version = GetVersion();
    return LOBYTE(LOWORD(version)) == 5 && HIBYTE(LOWORD(version)) == 0;
}

POEMUIPSPARAM UiParamOf(const PROPSHEETUI_INFO* info) {
    return reinterpret_cast<POEMUIPSPARAM>(info->lParamInit);
}

// The module the page's template and strings come from: the resource module beside this DLL,
// loaded and owned by the context, else this DLL itself (never owned), or null when this DLL's
// own path cannot be had.
HMODULE LoadResourceModule(HANDLE printer) {
    wchar_t path[kPathChars] = {};
    if (GetModuleFileNameW(OwnModuleHandle(), path, kPathChars) == 0) {
        return nullptr;
    }
    BuildResourceModulePath(printer, path);
    const HMODULE loaded = path[0] != L'\0' ? LoadLibraryW(path) : nullptr;
    return loaded != nullptr ? loaded : OwnModuleHandle();
}

bool OwnsResourceModule(const SheetContext& context) {
    return context.resourceModule != nullptr && context.resourceModule != OwnModuleHandle();
}

LONG_PTR AddPage(const PROPSHEETUI_INFO* info, SheetContext* context, DWORD flags, WORD templateId,
                 DLGPROC procedure) {
    PropSheetPageFull page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = flags;
    page.hInstance = context->resourceModule;
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pfnDlgProc = procedure;
    page.lParam = reinterpret_cast<LPARAM>(context);
    if (context->activationContext != nullptr) {
        page.dwFlags |= PSP_USEFUSIONCONTEXT;
        page.hActCtx = context->activationContext;
    }
    return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                 reinterpret_cast<LPARAM>(&page), 0);
}

HRESULT InitDocumentSheet(PROPSHEETUI_INFO* info, SheetContext* context) {
    const DWORD flags = context->uiParam->dwFlags;
    const HANDLE printer = context->uiParam->hPrinter;
    context->canChange = (flags & kDocumentNoPermission) ? 0 : 1;
    context->userDefault = (flags & kDocumentUserDefault) ? 1 : 0;
    if (IsWindows2000()) {
        context->userDefault = 1;
        context->perDocument = 1;
    } else {
        context->perDocument = context->userDefault ? 0 : 1;
    }

    if (!HasDriverOption(printer, DRVOPT_SECURE_PAGE)) {
        info->UserData = reinterpret_cast<ULONG_PTR>(context);
        info->Result = 1;
        return S_OK;
    }
    context->resourceModule = LoadResourceModule(printer);
    context->activationContext = CreatePageActivationContext();
    // The template is a decision of its own: the options word is read again.
    const WORD templateId =
        HasDriverOption(printer, DRVOPT_ALT_TEMPLATE) ? IDD_SECURE_PRINT_ALT : IDD_SECURE_PRINT;
    const LONG_PTR result = AddPage(info, context, PSP_HASHELP, templateId, SecurePrintPageProc);
    info->Result = static_cast<ULONG_PTR>(result);
    // Sheets report errors as negative 32-bit values, whatever the pointer width.
    if (static_cast<LONG>(static_cast<DWORD>(result)) >= 0) {
        context->pageHandle = result;
    }
    info->UserData = reinterpret_cast<ULONG_PTR>(context);
    return S_OK;
}

HRESULT InitDeviceSheet(PROPSHEETUI_INFO* info, SheetContext* context) {
    const HANDLE printer = context->uiParam->hPrinter;
    context->canChange = (context->uiParam->dwFlags & kDeviceNoPermission) ? 0 : 1;
    info->UserData = reinterpret_cast<ULONG_PTR>(context);

    if (!HasDriverOption(printer, DRVOPT_ABOUT_PAGE)) {
        info->Result = 0;
        return S_OK;
    }
    context->resourceModule = LoadResourceModule(printer);
    context->ownModule = OwnModuleHandle();
    context->activationContext = CreatePageActivationContext();
    info->Result =
        static_cast<ULONG_PTR>(AddPage(info, context, PSP_DEFAULT, IDD_ABOUT, AboutPageProc));
    return S_OK;
}

HRESULT Init(Sheet sheet, PROPSHEETUI_INFO* info) {
    const POEMUIPSPARAM uiParam = UiParamOf(info);
    // Without the driver's parameters there is neither a heap nor a printer to work with, and
    // without the sheet's callback no page can be added.
    if (uiParam == nullptr || info->pfnComPropSheet == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    auto* context = static_cast<SheetContext*>(
        HeapAlloc(uiParam->hOEMHeap, HEAP_ZERO_MEMORY, sizeof(SheetContext)));
    if (context == nullptr) {
        info->Result = 0;
        return E_OUTOFMEMORY;
    }
    context->sheetHandle = info->hComPropSheet;
    context->uiParam = uiParam;
    context->sheetCallback = info->pfnComPropSheet;
    return sheet == Sheet::Document ? InitDocumentSheet(info, context)
                                    : InitDeviceSheet(info, context);
}

// Both sheets release a resource module their INIT loaded: the device sheet too, since
// otherwise every opening of Printer Properties would leave one more reference behind. The
// sheet has destroyed its pages by now, so the activation context goes too.
void Destroy(PROPSHEETUI_INFO* info) {
    auto* context = reinterpret_cast<SheetContext*>(info->UserData);
    info->Result = 1;
    if (context == nullptr) {
        return;
    }
    POEMUIPSPARAM uiParam = UiParamOf(info);
    if (uiParam == nullptr) {
        uiParam = context->uiParam;  // the same record INIT was given
    }
    if (OwnsResourceModule(*context)) {
        FreeLibrary(context->resourceModule);
    }
    if (context->activationContext != nullptr) {
        ReleaseActCtx(context->activationContext);
    }
    HeapFree(uiParam->hOEMHeap, 0, context);
    info->UserData = 0;
}

HRESULT PropertySheets(Sheet sheet, PPROPSHEETUI_INFO info, LPARAM lParam) noexcept {
    if (info == nullptr || info->Version != PROPSHEETUI_INFO_VERSION) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    switch (info->Reason) {
        case PROPSHEETUI_REASON_INIT:
            return Init(sheet, info);
        case PROPSHEETUI_REASON_GET_INFO_HEADER: {
            auto* header = reinterpret_cast<PPROPSHEETUI_INFO_HEADER>(lParam);
            if (header != nullptr) {
                header->pTitle = const_cast<LPWSTR>(kHeaderTitle);
            }
            info->Result = 1;
            return S_OK;
        }
        case PROPSHEETUI_REASON_DESTROY:
            Destroy(info);
            return S_OK;
        case PROPSHEETUI_REASON_SET_RESULT: {
            const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
            if (result != nullptr) {
                info->Result = result->Result;
            }
            return S_OK;
        }
        default:
            info->Result = 0;
            return S_OK;
    }
}

}  // namespace

HRESULT DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    return PropertySheets(Sheet::Document, info, lParam);
}

HRESULT DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    return PropertySheets(Sheet::Device, info, lParam);
}

}  // namespace pinprint
