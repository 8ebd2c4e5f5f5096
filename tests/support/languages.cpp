#include "support/languages.h"

#include "support/test_support.h"

namespace pinprint::test {

std::wstring LanguageModulePath(const ModuleLanguage& language) {
    const std::string tag = language.tag;
    return BinDirectory() + L"..\\lang\\" + std::wstring(tag.begin(), tag.end()) +
           L"\\pinprintlg.dll";
}

}  // namespace pinprint::test
