#include "support/languages.h"

#include <cstring>

#include "support/test_support.h"

namespace pinprint::test {
namespace {

std::wstring Tagged(const ModuleLanguage& language, const wchar_t* stem, const wchar_t* extension) {
    std::wstring name = stem;
    if (strcmp(language.tag, "en") != 0) {
        name += L'.';
        for (const char* c = language.tag; *c != '\0'; ++c) {
            name += static_cast<wchar_t>(*c);
        }
    }
    return name + extension;
}

}  // namespace

std::wstring LanguageModuleName(const ModuleLanguage& language) {
    return Tagged(language, L"pinprintlg", L".dll");
}

std::wstring LanguageHelpName(const ModuleLanguage& language) {
    return Tagged(language, L"pinprint", L".chm");
}

std::wstring LanguageModulePath(const ModuleLanguage& language) {
    return BinDirectory() + LanguageModuleName(language);
}

std::wstring LanguageHelpPath(const ModuleLanguage& language) {
    return BinDirectory() + LanguageHelpName(language);
}

}  // namespace pinprint::test
