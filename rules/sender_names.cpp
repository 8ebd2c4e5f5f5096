#include "rules/sender_names.h"

#include <windows.h>

namespace pinprint {

namespace {

constexpr DWORD kSystemNameChars = 257;  // buffers for GetComputerNameW and GetUserNameW

}  // namespace

void StoreSystemNames(PrivateDevmode* devmode) {
    wchar_t name[kSystemNameChars];
    DWORD size = kSystemNameChars;
    if (GetComputerNameW(name, &size)) {
        name[kSystemNameChars - 1] = L'\0';
        CopyToField(devmode->computerName, kComputerNameChars, name);
    }
    size = kSystemNameChars;
    if (GetUserNameW(name, &size)) {
        name[kSystemNameChars - 1] = L'\0';
        CopyToField(devmode->loginName, kNameChars, name);
    }
}

}  // namespace pinprint
