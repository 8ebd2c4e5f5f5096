// The module's process-wide state: its own instance handle and the two counts that decide
// whether it may be unloaded.
#include "module/plugin_module.h"

namespace pinprint {
namespace {

HINSTANCE g_moduleHandle = nullptr;
volatile LONG g_serverLocks = 0;
volatile LONG g_liveObjects = 0;

}  // namespace

HINSTANCE OwnModuleHandle() {
    return g_moduleHandle;
}
void SetOwnModuleHandle(HINSTANCE module) {
    g_moduleHandle = module;
}

LONG ServerLockCount() {
    return g_serverLocks;
}
void ChangeServerLock(bool lock) {
    if (lock) {
        InterlockedIncrement(&g_serverLocks);
    } else {
        InterlockedDecrement(&g_serverLocks);
    }
}

LONG LiveObjectCount() {
    return g_liveObjects;
}
void CountObjectIn() {
    InterlockedIncrement(&g_liveObjects);
}
void CountObjectOut() {
    InterlockedDecrement(&g_liveObjects);
}

}  // namespace pinprint
