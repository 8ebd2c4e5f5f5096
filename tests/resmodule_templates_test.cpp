// The dialog templates of pinprintlg.dll as built: the control kinds and styles the pages rely
// on, and what keyboard and screen-reader users need (every edit right after its labelled
// static, a mnemonic on every label and button, none twice, tab order from top to bottom).
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "resmodule/resource_ids.h"
#include "support/dialog_template.h"
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

class ResourceTemplates : public ::testing::Test {
  protected:
    DialogTemplate Read(WORD id) {
        DialogTemplate dialog = ReadDialogTemplate(resources_.get(), id);
        EXPECT_TRUE(dialog.ok) << "template " << id;
        return dialog;
    }
    ResourceModule resources_;
};

TEST_F(ResourceTemplates, ControlsHaveTheKindsThePagesRelyOn) {
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
}

TEST_F(ResourceTemplates, EveryEditFollowsItsLabelAndEveryLabelHasAMnemonic) {
    for (WORD id : kSecureTemplates) {
        const DialogTemplate dialog = Read(id);
        for (size_t i = 0; i < dialog.controls.size(); ++i) {
            const DialogControl& control = dialog.controls[i];
            if (control.Is(L"Edit")) {
                ASSERT_GT(i, 0u);
                const DialogControl& label = dialog.controls[i - 1];
                EXPECT_TRUE(label.Is(L"Static") && HasMnemonic(label))
                    << "template " << id << ": edit " << control.id
                    << " does not follow a label with a mnemonic";
            } else if (TakesFocus(control)) {
                EXPECT_TRUE(HasMnemonic(control))
                    << "template " << id << ", control " << control.id;
            }
        }
    }
}

TEST_F(ResourceTemplates, NoMnemonicIsUsedTwice) {
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
}

TEST_F(ResourceTemplates, TabOrderRunsFromTopToBottom) {
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
}

}  // namespace
}  // namespace pinprint::test
