#include <windows.h>

#include "module/plugin_module.h"

// Records the module handle and nothing else: the loader lock is held here, and thread
// notifications are left on because the driver's host process decides about them, not us.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        pinprint::SetOwnModuleHandle(instance);
    }
    return TRUE;
}
