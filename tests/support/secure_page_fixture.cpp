#include "support/secure_page_fixture.h"

#include <cstring>

#include "config/driver_options.h"
#include "resmodule/resource_ids.h"

namespace pinprint::test {

void SecurePageTest::SetUp() {
    ASSERT_NE(resources_.get(), nullptr) << "pinprintlg.dll missing beside the test";
    printer_ = std::make_unique<TestPrinter>(UniqueTestName(L"PinPrint Secure "));
    ASSERT_TRUE(printer_->ok());
    SecurePageSheet::ServiceCalls().clear();
}

std::unique_ptr<SecurePageSheet> SecurePageTest::Open(DWORD options, const PrivateDevmode& devmode,
                                                      PageSetup setup) {
    EXPECT_TRUE(printer_->SetOptions(options));
    return OpenAsIs(devmode, setup);
}

std::unique_ptr<SecurePageSheet> SecurePageTest::OpenAsIs(const PrivateDevmode& devmode,
                                                          PageSetup setup) {
    setup.printer = printer_->handle();
    setup.resources = resources_.get();
    auto sheet = std::make_unique<SecurePageSheet>(setup, devmode);
    EXPECT_TRUE(sheet->ok());
    return sheet;
}

PrivateDevmode SecurePageTest::SecureDevmode(const char* digest, const wchar_t* user,
                                             const wchar_t* job) {
    PrivateDevmode devmode = DefaultDevmode();
    devmode.secureEnabled = 1;
    memcpy(devmode.pinDigest, digest, strlen(digest) + 1);
    if (user != nullptr) {
        SetField(devmode.userName, kNameChars, user);
    }
    if (job != nullptr) {
        SetField(devmode.jobName, kNameChars, job);
    }
    return devmode;
}

void SecurePageTest::EnterPin(SecurePageSheet& sheet, const std::wstring& pin) {
    SetFocus(sheet.item(IDC_PIN_EDIT));
    SecurePageSheet::Type(sheet.item(IDC_PIN_EDIT), pin);
}

void SecurePageTest::ExpectFiltersDecide(std::span<const CharacterCase> cases) {
    const struct {
        const char* name;
        DWORD options;
        bool CharacterCase::*accepted;
    } columns[] = {
        {"short", DRVOPT_SHORT_NAMES, &CharacterCase::shortFilter},
        {"full, 8-bit test", 0, &CharacterCase::fullLatin1},
        {"full, ANSI test by radio pair", DRVOPT_NAME_CHOICE, &CharacterCase::fullAnsi},
        {"full, ANSI test by swapped note", DRVOPT_LABEL_SWAP, &CharacterCase::fullAnsi}};
    PrivateDevmode devmode = DefaultDevmode();
    devmode.customNames = 1;
    for (const auto& column : columns) {
        auto sheet = Open(column.options, devmode);
        for (const CharacterCase& c : cases) {
            for (int edit : {IDC_USER_NAME_EDIT, IDC_JOB_NAME_EDIT}) {
                for (SecurePageSheet::Input input : SecurePageSheet::kInputs) {
                    EXPECT_EQ(TakesCharacter(*sheet, edit, c.c, input), c.*column.accepted)
                        << column.name << ", " << c.what << ", edit " << edit << ", "
                        << SecurePageSheet::InputName(input);
                }
            }
        }
    }
}

bool SecurePageTest::TakesCharacter(SecurePageSheet& sheet, int edit, wchar_t c,
                                    SecurePageSheet::Input input) {
    const HWND window = sheet.item(edit);
    if (input == SecurePageSheet::Input::ImeResult) {
        SetFocus(window);  // before the text: the PIN edit starts over when it takes the focus
    }
    SetWindowTextW(window, L"ab");
    SendMessageW(window, EM_SETSEL, 2, 2);
    SecurePageSheet::Enter(window, std::wstring(1, c), input);
    const std::wstring text = SecurePageSheet::Text(window);
    EXPECT_TRUE(text == L"ab" || text == std::wstring(L"ab") + c)
        << SecurePageSheet::InputName(input) << ", U+" << std::hex << int(c) << " gave "
        << text.size() << " characters";
    return text != L"ab";
}

}  // namespace pinprint::test
