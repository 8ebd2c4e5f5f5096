// Every language's pinprintlg.dll as built: the control kinds and styles the pages rely on, what
// keyboard and screen-reader users need (every edit right after its labelled static, a mnemonic
// on every label and button, none twice, tab order from top to bottom), every string the pages
// load, and resources in the module's own language.
#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resmodule/resource_ids.h"
#include "support/dialog_template.h"
#include "support/languages.h"
#include "support/secure_page_sheet.h"

namespace pinprint::test {
namespace {

const WORD kSecureTemplates[] = {IDD_SECURE_PRINT, IDD_SECURE_PRINT_ALT};
const WORD kAllTemplates[] = {IDD_SECURE_PRINT, IDD_SECURE_PRINT_ALT, IDD_ABOUT};

bool TakesFocus(const DialogControl& control) {
    if (control.Is(L"Edit")) {
        return true;
    }
    return control.Is(L"Button") && control.ButtonType() != BS_GROUPBOX;
}

bool HasMnemonic(const DialogControl& control) {
    return (control.style & SS_NOPREFIX) == 0 && control.Mnemonic() != 0;
}

// A mnemonic is a key pressed without an input method: a Latin letter or a digit. Japanese puts
// it after the label, as "ラベル(&P)".
bool HasTypableMnemonic(const ModuleLanguage& language, const DialogControl& control) {
    const wchar_t key = control.Mnemonic();
    if (!HasMnemonic(control) || !((key >= L'a' && key <= L'z') || (key >= L'0' && key <= L'9'))) {
        return false;
    }
    const size_t at = control.text.find(L"(&");
    return PRIMARYLANGID(language.langId) != LANG_JAPANESE ||
           (at != std::wstring::npos && at + 3 < control.text.size() &&
            towlower(control.text[at + 2]) == key && control.text[at + 3] == L')');
}

// Each check runs over every language's module; a failure names the language.
class ResourceTemplates : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const ModuleLanguage& language : kModuleLanguages) {
            modules_.push_back(std::make_unique<ResourceModule>(LanguageModulePath(language)));
            ASSERT_NE(modules_.back()->get(), nullptr) << language.tag;
        }
    }
    template <typename Check>
    void ForEachLanguage(Check check) {
        for (size_t i = 0; i < modules_.size(); ++i) {
            SCOPED_TRACE(kModuleLanguages[i].tag);
            module_ = modules_[i]->get();
            check(kModuleLanguages[i]);
        }
    }
    DialogTemplate Read(WORD id) {
        DialogTemplate dialog = ReadDialogTemplate(module_, id);
        EXPECT_TRUE(dialog.ok) << "template " << id;
        return dialog;
    }
    std::vector<std::unique_ptr<ResourceModule>> modules_;
    HMODULE module_ = nullptr;
};

TEST_F(ResourceTemplates, ControlsHaveTheKindsThePagesRelyOn) {
    ForEachLanguage([&](const ModuleLanguage&) {
        struct Kind {
            DWORD id;
            const wchar_t* className;
            DWORD mask;
            DWORD value;  // style & mask
        };
        const Kind secureKinds[] = {
            {IDC_SECURE_ENABLE, L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX},
            // The page's double-click on the PIN label must reach the page itself.
            {IDC_PIN_LABEL, L"Static", SS_NOTIFY, 0},
            {IDC_PIN_EDIT, L"Edit", ES_PASSWORD, ES_PASSWORD},
            {IDC_NAMES_AUTO, L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON},
            {IDC_NAMES_CUSTOM, L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON},
            {IDC_NAME_NOTE, L"Static", 0, 0},
            {IDC_NAME_NOTE_ALT, L"Static", 0, 0},
            {IDC_USER_NAME_LABEL, L"Static", 0, 0},
            {IDC_USER_NAME_EDIT, L"Edit", ES_PASSWORD, 0},
            {IDC_JOB_NAME_LABEL, L"Static", 0, 0},
            {IDC_JOB_NAME_EDIT, L"Edit", ES_PASSWORD, 0},
            {IDC_SEPARATOR, L"Static", SS_TYPEMASK, SS_OWNERDRAW},
        };
        for (WORD id : kSecureTemplates) {
            const DialogTemplate dialog = Read(id);
            for (const Kind& kind : secureKinds) {
                const DialogControl* control = dialog.Find(kind.id);
                ASSERT_NE(control, nullptr) << "template " << id << ", control " << kind.id;
                EXPECT_TRUE(control->Is(kind.className))
                    << "template " << id << ", control " << kind.id;
                EXPECT_EQ(control->style & kind.mask, kind.value)
                    << "template " << id << ", control " << kind.id;
            }
        }
        const DialogTemplate about = Read(IDD_ABOUT);
        const DialogControl* logo = about.Find(IDC_ABOUT_LOGO);
        ASSERT_NE(logo, nullptr);
        EXPECT_EQ(logo->style & SS_TYPEMASK, static_cast<DWORD>(SS_OWNERDRAW));
        for (DWORD id : {IDC_ABOUT_BAND, IDC_ABOUT_NAME_VERSION, IDC_ABOUT_VERSION,
                         IDC_ABOUT_COPYRIGHT1, IDC_ABOUT_COPYRIGHT2}) {
            ASSERT_NE(about.Find(id), nullptr) << id;
            EXPECT_TRUE(about.Find(id)->Is(L"Static")) << id;
        }
    });
}

TEST_F(ResourceTemplates, EveryEditFollowsItsLabelAndEveryLabelHasAMnemonic) {
    ForEachLanguage([&](const ModuleLanguage& language) {
        for (WORD id : kSecureTemplates) {
            const DialogTemplate dialog = Read(id);
            for (size_t i = 0; i < dialog.controls.size(); ++i) {
                const DialogControl& control = dialog.controls[i];
                if (control.Is(L"Edit")) {
                    ASSERT_GT(i, 0u);
                    const DialogControl& label = dialog.controls[i - 1];
                    EXPECT_TRUE(label.Is(L"Static") && HasTypableMnemonic(language, label))
                        << "template " << id << ": edit " << control.id
                        << " does not follow a label with a mnemonic";
                } else if (TakesFocus(control)) {
                    EXPECT_TRUE(HasTypableMnemonic(language, control))
                        << "template " << id << ", control " << control.id;
                }
            }
        }
    });
}

TEST_F(ResourceTemplates, NoMnemonicIsUsedTwice) {
    ForEachLanguage([&](const ModuleLanguage&) {
        for (WORD id : kAllTemplates) {
            const DialogTemplate dialog = Read(id);
            std::map<wchar_t, DWORD> seen;
            for (const DialogControl& control : dialog.controls) {
                if (!HasMnemonic(control)) {
                    continue;
                }
                const auto [where, added] = seen.emplace(control.Mnemonic(), control.id);
                EXPECT_TRUE(added) << "template " << id << ": '" << char(control.Mnemonic())
                                   << "' on controls " << where->second << " and " << control.id;
            }
        }
    });
}

TEST_F(ResourceTemplates, TabOrderRunsFromTopToBottom) {
    ForEachLanguage([&](const ModuleLanguage&) {
        for (WORD id : kSecureTemplates) {
            const DialogTemplate dialog = Read(id);
            const DialogControl* previous = nullptr;
            for (const DialogControl& control : dialog.controls) {
                if (!TakesFocus(control)) {
                    continue;
                }
                if (previous != nullptr) {
                    const bool below = control.rect.top > previous->rect.top;
                    const bool rightOnTheSameRow = control.rect.top == previous->rect.top &&
                                                   control.rect.left > previous->rect.left;
                    EXPECT_TRUE(below || rightOnTheSameRow)
                        << "template " << id << ": control " << control.id << " comes after "
                        << previous->id;
                }
                previous = &control;
            }
        }
    });
}

TEST_F(ResourceTemplates, EveryStringIsThereAndTheFormatsTakeOneString) {
    const UINT ids[] = {IDS_COPYRIGHT1_FORMAT, IDS_COPYRIGHT2_FORMAT, IDS_COPYRIGHT1_SUFFIX,
                        IDS_COPYRIGHT2_SUFFIX, IDS_PIN_CAPTION,       IDS_USER_NAME_CAPTION,
                        IDS_JOB_NAME_CAPTION,  IDS_PIN_MESSAGE,       IDS_USER_NAME_MESSAGE,
                        IDS_JOB_NAME_MESSAGE,  IDS_PIN_MESSAGE_ALT};
    ForEachLanguage([&](const ModuleLanguage&) {
        for (UINT id : ids) {
            EXPECT_FALSE(ResourceString(module_, id).empty()) << "string " << id;
        }
        // The About page hands each format exactly one string.
        for (UINT id : {IDS_COPYRIGHT1_FORMAT, IDS_COPYRIGHT2_FORMAT}) {
            const std::wstring format = ResourceString(module_, id);
            const size_t at = format.find(L'%');
            EXPECT_TRUE(at != std::wstring::npos && format.compare(at, 2, L"%s") == 0 &&
                        format.find(L'%', at + 1) == std::wstring::npos)
                << "string " << id;
        }
    });
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

TEST_F(ResourceTemplates, EveryResourceIsInTheModulesLanguage) {
    ForEachLanguage([&](const ModuleLanguage& language) {
        const std::pair<LPCWSTR, WORD> resources[] = {
            {RT_DIALOG, IDD_SECURE_PRINT},
            {RT_DIALOG, IDD_SECURE_PRINT_ALT},
            {RT_DIALOG, IDD_ABOUT},
            {RT_STRING, IDS_COPYRIGHT1_FORMAT / 16 + 1},  // string tables come in blocks of 16
            {RT_STRING, IDS_PIN_CAPTION / 16 + 1},
            {RT_STRING, IDS_PIN_MESSAGE / 16 + 1},
            {RT_STRING, IDS_PIN_MESSAGE_ALT / 16 + 1},
            {RT_VERSION, 1}};
        for (const auto& [type, id] : resources) {
            std::vector<WORD> languages;
            EnumResourceLanguagesW(module_, type, MAKEINTRESOURCEW(id), CollectLanguage,
                                   reinterpret_cast<LONG_PTR>(&languages));
            EXPECT_EQ(languages, std::vector<WORD>{language.langId})
                << "type " << reinterpret_cast<UINT_PTR>(type) << ", id " << id;
        }
        // The version block names the same language, with Unicode strings, and has them.
        const std::wstring path = LanguageModulePath(language);
        std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_FALSE(version.empty());
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, version.size(), version.data()));
        WORD* translation = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &size));
        ASSERT_GE(size, 4u);
        EXPECT_EQ(translation[0], language.langId);
        EXPECT_EQ(translation[1], 1200);
        wchar_t block[64];
        swprintf(block, 64, L"\\StringFileInfo\\%04X04B0\\FileDescription", language.langId);
        wchar_t* description = nullptr;
        EXPECT_TRUE(
            VerQueryValueW(version.data(), block, reinterpret_cast<void**>(&description), &size) &&
            size > 1);
    });
}

}  // namespace
}  // namespace pinprint::test
