// The languages the package carries its pages and help in, and where the build puts each one's
// resource module and help file.
#pragma once

#include <windows.h>

#include <string>

namespace pinprint::test {

struct ModuleLanguage {
    const char* tag;     // the tag in the file names ("" for English, the untagged default)
    LANGID langId;       // the LANGUAGE of every resource in the module
    const char* locale;  // a Unix locale whose messages are in the language
};

inline constexpr ModuleLanguage kModuleLanguages[] = {
    {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "en_US.UTF-8"},
    {"ja", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), "ja_JP.UTF-8"},
    {"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "de_DE.UTF-8"},
    {"fr", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), "fr_FR.UTF-8"},
};

// The file names of a language's resource module and help in the package: pinprintlg.dll and
// pinprint.chm in English, pinprintlg.<tag>.dll and pinprint.<tag>.chm in the others.
std::wstring LanguageModuleName(const ModuleLanguage& language);
std::wstring LanguageHelpName(const ModuleLanguage& language);

// Where the build puts them: the bin folder.
std::wstring LanguageModulePath(const ModuleLanguage& language);
std::wstring LanguageHelpPath(const ModuleLanguage& language);

}  // namespace pinprint::test
