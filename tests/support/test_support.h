// Shared helpers for the tests: where the built files lie, loading the plug-in the way the
// driver does, and small RAII holders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/oemui.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint::test {

// Folder of the running test program, with a trailing backslash (the build's bin folder).
std::wstring BinDirectory();

// Full path of a file in the bin folder.
std::wstring BinPath(const wchar_t* fileName);

// A text as UTF-8, for output that shows every language's characters as they are.
inline std::string Utf8(const std::wstring& text) {
    std::string out(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                        static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

// Dispatches every message waiting for this thread's windows.
void PumpMessages();

// The plug-in DLL of the bin folder, loaded as the driver loads it (driver_side.h).
class LoadedPlugin : public drvhost::PluginModule {
  public:
    LoadedPlugin() : PluginModule(BinPath(L"pinprintui.dll")) {}
};

}  // namespace pinprint::test
