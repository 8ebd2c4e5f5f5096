// The two exports of pinprintui.dll, the in-process server of the UI plug-in.
#include <windows.h>
#include <objbase.h>

#include "module/plugin_module.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return pinprint::ServeClassObject(rclsid, riid, ppv, CLSID_OEMUI,
                                      pinprint::MakeObject<pinprint::PluginObject>);
}

STDAPI DllCanUnloadNow() {
    return pinprint::CanUnloadModule();
}
