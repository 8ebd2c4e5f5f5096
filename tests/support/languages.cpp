#include "support/languages.h"

#include "support/test_support.h"

namespace pinprint::test {

std::wstring LanguageFilePath(const ModuleLanguage& language, const wchar_t* fileName) {
    const std::string tag = language.tag;
    return BinDirectory() + L"..\\lang\\" + std::wstring(tag.begin(), tag.end()) + L"\\" + fileName;
}

}  // namespace pinprint::test
