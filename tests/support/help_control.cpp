#include "support/help_control.h"

#include "platform/proc_address.h"

#include <string>

#include "support/test_support.h"

namespace pinprint::test {
namespace {

constexpr wchar_t kClassesKey[] = L"Software\\PinPrintTests\\HelpControlClasses";
constexpr wchar_t kHelpControlKey[] =
    L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

}  // namespace

RecordingHelpControl::RecordingHelpControl() {
    HKEY control = nullptr;
    if (RegCreateKeyW(HKEY_CURRENT_USER, kClassesKey, &classes_) != ERROR_SUCCESS ||
        RegCreateKeyW(classes_, kHelpControlKey, &control) != ERROR_SUCCESS) {
        return;
    }
    // Registered as a path to expand, the form the launcher expands before it loads the
    // control, so that the expansion is among the calls the fault sweep fails.
    const wchar_t recorder[] = L"%PINPRINT_RECORDER_DIR%helprecorder.dll";
    const LSTATUS stored =
        SetEnvironmentVariableW(L"PINPRINT_RECORDER_DIR", BinDirectory().c_str())
            ? RegSetValueExW(control, nullptr, 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(recorder), sizeof(recorder))
            : ERROR_ENVVAR_NOT_FOUND;
    RegCloseKey(control);
    ok_ = stored == ERROR_SUCCESS &&
          RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_) == ERROR_SUCCESS;
}

RecordingHelpControl::~RecordingHelpControl() {
    Unregister();
    if (classes_ != nullptr) {
        RegCloseKey(classes_);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kClassesKey);
}

void RecordingHelpControl::Unregister() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

const RecordedHelp* RecordingHelpControl::Recorded() {
    const HMODULE module = GetModuleHandleW(L"helprecorder.dll");
    if (module == nullptr) {
        return nullptr;
    }
    const auto state = ProcAddress<HelpRecorderStateFn>(module, kHelpRecorderStateExport);
    return state ? state() : nullptr;
}

}  // namespace pinprint::test
