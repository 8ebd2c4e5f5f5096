#include <windows.h>

#include "module/plugin_module.h"

// Records the module handle and nothing else, since the loader lock is held here. Thread attach
// and detach still arrive and return at once: there is no per-thread work that switching them
// off with DisableThreadLibraryCalls would save.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        pinprint::SetOwnModuleHandle(instance);
    }
    return TRUE;
}
