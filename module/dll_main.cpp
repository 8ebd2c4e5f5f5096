#include <windows.h>

#include "module/plugin_module.h"
#include "pages/name_filters.h"

// Records the module handle, and gives the edits' thread slots back when the module is unloaded,
// and nothing else, since the loader lock is held here. At process exit (a non-null `reserved`)
// nothing is given back: the process takes everything with it. Thread attach and detach still
// arrive and return at once: there is no per-thread work that switching them off with
// DisableThreadLibraryCalls would save.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        pinprint::SetOwnModuleHandle(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        pinprint::FreeEditProcedureSlots();
    }
    return TRUE;
}
