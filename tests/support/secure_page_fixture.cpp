#include "support/secure_page_fixture.h"

#include <cstring>

#include "resmodule/resource_ids.h"

namespace pinprint::test {

namespace {

// Printer and driver names may not hold ',' or '\\'; keep letters and digits only.
std::wstring NameOfCurrentTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string raw = std::string(info->test_suite_name()) + "_" + info->name();
    std::wstring name = L"PinPrint Secure ";
    for (char c : raw) {
        name.push_back(isalnum(static_cast<unsigned char>(c)) ? static_cast<wchar_t>(c) : L'_');
    }
    return name;
}

}  // namespace

void SecurePageTest::SetUp() {
    ASSERT_NE(resources_.get(), nullptr) << "pinprintlg.dll missing beside the test";
    const std::wstring name = NameOfCurrentTest();
    DriverSetup driver;
    driver.driverName = name + L" Driver";
    printer_ = std::make_unique<TestPrinter>(name, driver);
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

PrivateDevmode SecurePageTest::SecureDevmode(const char* digest) {
    PrivateDevmode devmode = DefaultDevmode();
    devmode.secureEnabled = 1;
    memcpy(devmode.pinDigest, digest, strlen(digest) + 1);
    return devmode;
}

void SecurePageTest::EnterPin(SecurePageSheet& sheet, const std::wstring& pin) {
    SetFocus(sheet.item(IDC_PIN_EDIT));
    SecurePageSheet::Type(sheet.item(IDC_PIN_EDIT), pin);
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
