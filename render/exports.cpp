// The two exports of pinprintps.dll, the in-process server of the rendering plug-in. Built into
// that DLL alone: the UI plug-in's exports of the same names live in module/exports.cpp.
#include <windows.h>
#include <objbase.h>

#include "render/render_object.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return pinprint::ServeClassObject(rclsid, riid, ppv, CLSID_OEMRENDER,
                                      pinprint::MakeObject<pinprint::render::RenderObject>);
}

STDAPI DllCanUnloadNow() {
    return pinprint::CanUnloadModule();
}
