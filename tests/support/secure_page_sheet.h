// A real comctl32 property sheet hosting one secure-print page, for tests that drive the page
// with real window messages. The sheet is modeless, so the test thread keeps control: it sends
// messages, pumps the queue, and reads the devmode and context the page works on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "support/test_support.h"
#include "resmodule/resource_ids.h"

namespace pinprint::test {

// A fresh private devmode with the defaults.
PrivateDevmode DefaultDevmode();

// Writes a name into a devmode string field (at most `maxChars` characters).
void SetField(char16_t* field, size_t maxChars, const std::wstring& text);
std::wstring FieldText(const char16_t* field);

// The resource module of the pages, loaded for one scope: the English one of the bin folder, or
// the one at `path`.
class ResourceModule {
  public:
    ResourceModule();
    explicit ResourceModule(const std::wstring& path);
    ~ResourceModule();
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};

struct PageSetup {
    HANDLE printer = nullptr;  // source of "VkDriverOptions"
    HMODULE resources = nullptr;
    WORD templateId = IDD_SECURE_PRINT;
    DWORD canChange = 1;
    DWORD perDocument = 1;
    LONG_PTR pageHandle = 0x5EC;      // what the common property sheet would have returned
    bool secondPage = false;          // add an empty page after the secure-print page
    PrivateDevmode* block = nullptr;  // the devmode the page edits, when not the sheet's copy
};

// One call the page made to the sheet's service callback.
struct ServiceCall {
    HANDLE handle;
    UINT function;
    LPARAM lParam1;
    LPARAM lParam2;
};

class SecurePageSheet {
  public:
    SecurePageSheet(const PageSetup& setup, const PrivateDevmode& devmode);
    ~SecurePageSheet();
    SecurePageSheet(const SecurePageSheet&) = delete;
    SecurePageSheet& operator=(const SecurePageSheet&) = delete;

    bool ok() const { return page_ != nullptr; }
    HWND sheet() const { return sheet_; }
    HWND page() const { return page_; }
    HWND item(int id) const { return GetDlgItem(page_, id); }
    PrivateDevmode& devmode() { return devmode_; }
    SheetContext& context() { return context_; }

    // PSM_CHANGED notices the page sent to the sheet (counted by subclassing the sheet).
    int changes() const { return changes_; }
    void ResetChanges() { changes_ = 0; }

    // The sheet's Apply: PSN_KILLACTIVE to the page, then PSN_APPLY. True when the page let
    // itself be left.
    bool Apply();
    // Switches to the empty second page (PSM_SETCURSEL); true when the page let itself be left.
    bool LeaveToSecondPage();
    int currentPage() const;

    // Calls the page made to the sheet's service callback, across all sheets (and threads).
    static std::vector<ServiceCall>& ServiceCalls();

    // The ways characters reach an edit: keystrokes (WM_CHAR), an input method's characters
    // (WM_IME_CHAR), and an input method's committed result string (GCS_RESULTSTR).
    enum class Input { Keys, ImeChars, ImeResult };
    static constexpr Input kInputs[] = {Input::Keys, Input::ImeChars, Input::ImeResult};
    static const char* InputName(Input input);

    // Sends WM_CHAR for each character to `edit`.
    static void Type(HWND edit, const std::wstring& text);
    // Puts `text` into `edit` the way `input` does, and lets the messages it causes arrive. An
    // input method's result is committed through the edit's own input context, which needs the
    // focus: the edit gets it first.
    static void Enter(HWND edit, const std::wstring& text, Input input);
    static std::wstring Text(HWND window);

  private:
    static LRESULT CALLBACK SheetSubclass(HWND, UINT, WPARAM, LPARAM);
    static LONG_PTR CALLBACK ServiceCallback(HANDLE, UINT, LPARAM, LPARAM);

    PrivateDevmode devmode_;
    OEMUIPSPARAM param_ = {};
    SheetContext context_ = {};
    HWND sheet_ = nullptr;
    HWND page_ = nullptr;
    WNDPROC sheetProc_ = nullptr;
    int changes_ = 0;
    std::vector<BYTE> blankTemplate_;
};

// Records message boxes shown on this thread and dismisses each with OK at once: a WH_CBT hook
// takes the text, caption, owner and icon from the box's window when it is activated; the style
// argument itself is read from the box's creation parameters (WH_CALLWNDPROC at WM_INITDIALOG),
// because Wine's boxes do not show MB_RIGHT or MB_RTLREADING in their window styles.
class MessageBoxRecorder {
  public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT style;
        HWND owner;
        bool exclamationIcon;
    };
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    const std::vector<Box>& boxes() const { return boxes_; }
    // The window of this thread that last received WM_SETFOCUS. Tests check focus moves with
    // it rather than with GetFocus(), which another test's window on the shared display may
    // empty at any moment by taking the X input focus.
    HWND lastFocused() const { return lastFocused_; }
    void Clear() {
        boxes_.clear();
        lastFocused_ = nullptr;
    }

  private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CallWndProc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK cbt_ = nullptr;
    HHOOK callWnd_ = nullptr;
    UINT pendingStyle_ = 0;
    HWND lastFocused_ = nullptr;
    std::vector<Box> boxes_;
};

// The text of string `id` in the resource module, with mnemonic markers kept.
std::wstring ResourceString(HMODULE module, UINT id);

}  // namespace pinprint::test
