#include "support/help_control.h"

#include "platform/proc_address.h"

#include <string>

#include "support/test_support.h"

namespace pinprint::test {

RecordingHelpControl::RecordingHelpControl() {
    // Registered as a path to expand, the form the launcher expands before it loads the
    // control, so that the expansion is among the calls the fault sweep fails.
    ok_ = classes_.ok() &&
          SetEnvironmentVariableW(L"PINPRINT_RECORDER_DIR", BinDirectory().c_str()) &&
          classes_.SetString(L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                             nullptr, L"%PINPRINT_RECORDER_DIR%helprecorder.dll", REG_EXPAND_SZ);
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
