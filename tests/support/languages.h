// The languages the resource module is built in, and where the build puts each one's module.
#pragma once

#include <windows.h>

#include <string>

namespace pinprint::test {

struct ModuleLanguage {
    const char* tag;  // the folder under lang/ in the build folder
    LANGID langId;    // the LANGUAGE of every resource in the module
};

inline constexpr ModuleLanguage kModuleLanguages[] = {
    {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)},
    {"ja", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)},
    {"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
    {"fr", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)},
};

// lang\<tag>\<fileName> beside the bin folder: where the build puts that language's resource
// module (pinprintlg.dll) and help file (pinprint.chm).
std::wstring LanguageFilePath(const ModuleLanguage& language, const wchar_t* fileName);

inline std::wstring LanguageModulePath(const ModuleLanguage& language) {
    return LanguageFilePath(language, L"pinprintlg.dll");
}

}  // namespace pinprint::test
