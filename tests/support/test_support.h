// Shared helpers for the tests: where the built files lie, loading the plug-in the way the
// driver does, and small RAII holders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/oemui.h"

namespace pinprint::test {

// Folder of the running test program, with a trailing backslash (the build's bin folder).
std::wstring BinDirectory();

// Full path of a file in the bin folder.
std::wstring BinPath(const wchar_t* fileName);

// Dispatches every message waiting for this thread's windows.
void PumpMessages();

// The plug-in DLL loaded as the driver loads it, released at scope end.
class LoadedPlugin {
  public:
    LoadedPlugin();
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    HMODULE module() const { return module_; }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    // DllGetClassObject → CreateInstance(IID_IPrintOemUI); null on failure.
    IPrintOemUI* CreatePlugin() const;

  private:
    HMODULE module_;
};

}  // namespace pinprint::test
