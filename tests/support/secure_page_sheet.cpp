#include "support/secure_page_sheet.h"

#include <commctrl.h>
#include <imm.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "pages/page_procs.h"
#include "platform/property_sheet_page.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint::test {

namespace {

constexpr wchar_t kHarnessProp[] = L"PinPrintSecurePageSheet";
constexpr WORD kMessageBoxTextId = 0xFFFF;

INT_PTR CALLBACK BlankPageProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// An empty child dialog for the second page: DLGTEMPLATE, no menu, default class, no title.
std::vector<BYTE> BlankTemplate() {
    std::vector<BYTE> bytes(sizeof(DLGTEMPLATE) + 3 * sizeof(WORD), 0);
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(bytes.data());
    dialog->style = WS_CHILD | DS_CONTROL;
    dialog->cx = 200;
    dialog->cy = 150;
    return bytes;
}

bool IsMessageBox(HWND window) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return wcscmp(className, L"#32770") == 0 && GetDlgItem(window, kMessageBoxTextId) != nullptr &&
           (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) == 0;
}

// Hooks are per thread, and so is the recorder they report to.
thread_local MessageBoxRecorder* activeRecorder = nullptr;
thread_local HWND lastRecordedBox = nullptr;
std::mutex serviceCallsLock;

}  // namespace

PrivateDevmode DefaultDevmode() {
    PrivateDevmode devmode;
    memset(&devmode, 0, sizeof(devmode));
    DefaultPrivateDevmode(&devmode);
    return devmode;
}

void SetField(char16_t* field, size_t maxChars, const std::wstring& text) {
    size_t i = 0;
    for (; i < maxChars && i < text.size(); ++i) {
        field[i] = static_cast<char16_t>(text[i]);
    }
    field[i] = u'\0';
}

std::wstring FieldText(const char16_t* field) {
    return std::wstring(reinterpret_cast<const wchar_t*>(field));
}

ResourceModule::ResourceModule() : ResourceModule(BinPath(L"pinprintlg.dll")) {}

ResourceModule::ResourceModule(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}

ResourceModule::~ResourceModule() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

SecurePageSheet::SecurePageSheet(const PageSetup& setup, const PrivateDevmode& devmode)
    : devmode_(devmode) {
    param_ = drvhost::DriverParameters(setup.printer, nullptr, nullptr, GetProcessHeap());
    param_.pOEMDM = setup.block != nullptr ? setup.block : &devmode_;

    context_.sheetHandle = reinterpret_cast<HANDLE>(0x5E7);
    context_.pageHandle = setup.pageHandle;
    context_.uiParam = &param_;
    context_.sheetCallback = ServiceCallback;
    context_.canChange = setup.canChange;
    context_.userDefault = setup.perDocument ? 0 : 1;
    context_.perDocument = setup.perDocument;
    context_.resourceModule = setup.resources;

    PropSheetPageFull pages[2] = {};
    pages[0].dwSize = sizeof(PropSheetPageFull);
    pages[0].dwFlags = PSP_HASHELP;
    pages[0].hInstance = setup.resources;
    pages[0].pszTemplate = MAKEINTRESOURCEW(setup.templateId);
    pages[0].pfnDlgProc = SecurePrintPageProc;
    pages[0].lParam = reinterpret_cast<LPARAM>(&context_);
    if (setup.secondPage) {
        blankTemplate_ = BlankTemplate();
        pages[1].dwSize = sizeof(PropSheetPageFull);
        pages[1].dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
        pages[1].pResource = reinterpret_cast<PROPSHEETPAGE_RESOURCE>(blankTemplate_.data());
        pages[1].pszTitle = L"Other";
        pages[1].pfnDlgProc = BlankPageProc;
    }

    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
    header.pszCaption = L"Secure page test";
    header.nPages = setup.secondPage ? 2 : 1;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEW>(pages);
    sheet_ = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (sheet_ == nullptr || sheet_ == reinterpret_cast<HWND>(-1)) {
        sheet_ = nullptr;
        return;
    }
    page_ = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    SetPropW(sheet_, kHarnessProp, this);
    sheetProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(sheet_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SheetSubclass)));
    SetForegroundWindow(sheet_);
    PumpMessages();
}

SecurePageSheet::~SecurePageSheet() {
    if (sheet_ != nullptr) {
        SetWindowLongPtrW(sheet_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sheetProc_));
        RemovePropW(sheet_, kHarnessProp);
        DestroyWindow(sheet_);
        PumpMessages();
    }
}

LRESULT CALLBACK SecurePageSheet::SheetSubclass(HWND sheet, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* self = static_cast<SecurePageSheet*>(GetPropW(sheet, kHarnessProp));
    if (message == PSM_CHANGED && reinterpret_cast<HWND>(wParam) == self->page_) {
        ++self->changes_;
    }
    return CallWindowProcW(self->sheetProc_, sheet, message, wParam, lParam);
}

LONG_PTR CALLBACK SecurePageSheet::ServiceCallback(HANDLE handle, UINT function, LPARAM lParam1,
                                                   LPARAM lParam2) {
    const std::lock_guard<std::mutex> hold(serviceCallsLock);
    ServiceCalls().push_back({handle, function, lParam1, lParam2});
    return 0;  // what Wine's compstui answers to CPSFUNC_SET_RESULT
}

std::vector<ServiceCall>& SecurePageSheet::ServiceCalls() {
    static std::vector<ServiceCall> calls;
    return calls;
}

bool SecurePageSheet::Apply() {
    const LRESULT result = SendMessageW(sheet_, PSM_APPLY, 0, 0);
    PumpMessages();
    return result != FALSE;
}

bool SecurePageSheet::LeaveToSecondPage() {
    SendMessageW(sheet_, PSM_SETCURSEL, 1, 0);
    PumpMessages();
    return currentPage() == 1;
}

int SecurePageSheet::currentPage() const {
    const auto current = reinterpret_cast<HWND>(SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0));
    return current == page_ ? 0 : 1;
}

const char* SecurePageSheet::InputName(Input input) {
    switch (input) {
        case Input::Keys:
            return "keys";
        case Input::ImeChars:
            return "input method characters";
        default:
            return "input method result";
    }
}

void SecurePageSheet::Type(HWND edit, const std::wstring& text) {
    for (wchar_t c : text) {
        SendMessageW(edit, WM_CHAR, c, 1);
    }
}

void SecurePageSheet::Enter(HWND edit, const std::wstring& text, Input input) {
    switch (input) {
        case Input::Keys:
            Type(edit, text);
            break;
        case Input::ImeChars:
            for (wchar_t c : text) {
                SendMessageW(edit, WM_IME_CHAR, c, 1);
            }
            break;
        case Input::ImeResult: {
            if (GetFocus() != edit) {
                SetFocus(edit);
            }
            const HIMC context = ImmGetContext(edit);
            EXPECT_NE(context, nullptr) << "the edit has no input context";
            if (context == nullptr) {
                return;
            }
            ImmSetOpenStatus(context, TRUE);
            EXPECT_TRUE(ImmSetCompositionStringW(
                context, SCS_SETSTR, const_cast<wchar_t*>(text.data()),
                static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr, 0));
            EXPECT_TRUE(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0));
            ImmReleaseContext(edit, context);
            break;
        }
    }
    // Characters an input method hands over may arrive as posted messages.
    PumpMessages();
}

std::wstring SecurePageSheet::Text(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

MessageBoxRecorder::MessageBoxRecorder() {
    activeRecorder = this;
    lastRecordedBox = nullptr;
    cbt_ = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
    callWnd_ = SetWindowsHookExW(WH_CALLWNDPROC, CallWndProc, nullptr, GetCurrentThreadId());
}

MessageBoxRecorder::~MessageBoxRecorder() {
    UnhookWindowsHookEx(callWnd_);
    UnhookWindowsHookEx(cbt_);
    activeRecorder = nullptr;
}

LRESULT CALLBACK MessageBoxRecorder::CallWndProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && activeRecorder != nullptr && call->message == WM_SETFOCUS) {
        activeRecorder->lastFocused_ = call->hwnd;
    }
    if (code == HC_ACTION && activeRecorder != nullptr && call->message == WM_INITDIALOG &&
        IsMessageBox(call->hwnd)) {
        // The box's creation parameters: MSGBOXPARAMSW comes first in what the system hands to
        // the box's WM_INITDIALOG.
        const auto* params = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam);
        activeRecorder->pendingStyle_ = params != nullptr && params->cbSize == sizeof(MSGBOXPARAMSW)
                                            ? params->dwStyle
                                            : 0xFFFFFFFF;
        lastRecordedBox = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MessageBoxRecorder::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && activeRecorder != nullptr && window != lastRecordedBox &&
        IsMessageBox(window)) {
        lastRecordedBox = window;
        Box box;
        box.text = SecurePageSheet::Text(GetDlgItem(window, kMessageBoxTextId));
        box.caption = SecurePageSheet::Text(window);
        box.style = activeRecorder->pendingStyle_;
        box.owner = GetWindow(window, GW_OWNER);
        HICON exclamation = LoadIconW(nullptr, MAKEINTRESOURCEW(32515));  // IDI_EXCLAMATION
        bool found = false;
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == exclamation) {
                found = true;
            }
        }
        box.exclamationIcon = found;
        activeRecorder->boxes_.push_back(box);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::wstring ResourceString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace pinprint::test
