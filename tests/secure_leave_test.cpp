// Leaving the secure-print page: the checks with their warning boxes, the PIN digest, the name
// copy, and what happens when CryptoAPI cannot make a digest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/driver_options.h"
#include "pages/secure_page_leave.h"
#include "pages/strip_mnemonic.h"
#include "resmodule/resource_ids.h"
#include "support/key_override.h"
#include "support/secure_page_fixture.h"

namespace pinprint::test {
namespace {

constexpr UINT kWarningStyle = MB_OK | MB_ICONEXCLAMATION;

class LeavePageTest : public SecurePageTest {
  protected:
    std::wstring Caption(UINT id) {
        std::wstring caption = ResourceString(resources(), id);
        StripMnemonic(caption.data());
        return caption.c_str();
    }

    // One warning box with the given strings, owned by the sheet, exclamation and OK only.
    void ExpectWarning(SecurePageSheet& sheet, UINT textId, UINT captionId) {
        ASSERT_EQ(boxes.boxes().size(), 1u);
        const auto& box = boxes.boxes()[0];
        EXPECT_EQ(box.text, ResourceString(resources(), textId));
        EXPECT_EQ(box.caption, Caption(captionId));
        EXPECT_EQ(box.style, kWarningStyle);
        EXPECT_TRUE(box.exclamationIcon);
        EXPECT_EQ(box.owner, sheet.sheet());
    }

    HWND Focused() const { return boxes.lastFocused(); }
};

TEST_F(LeavePageTest, CaptionsReallyCarryMarkers) {
    // The caption checks below are only meaningful if the resource strings have markers.
    EXPECT_NE(ResourceString(resources(), IDS_PIN_CAPTION).find(L'&'), std::wstring::npos);
    EXPECT_NE(Caption(IDS_PIN_CAPTION).find(L"PIN"), std::wstring::npos);
}

TEST_F(LeavePageTest, SecurePrintingOffEmptiesTheDigestAndCopiesTheNames) {
    PrivateDevmode devmode = SecureDevmode();
    devmode.secureEnabled = 0;
    devmode.customNames = 1;
    boxes.Clear();
    auto sheet = Open(0, devmode);
    memcpy(sheet->devmode().pinDigest, kDigest1234, sizeof(kDigest1234));  // as if kept
    SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"");
    SetWindowTextW(sheet->item(IDC_JOB_NAME_EDIT), L"report");
    SetField(sheet->devmode().userName, 80, L"old user");
    EXPECT_TRUE(sheet->Apply());
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(sheet->devmode().pinDigest[0], '\0');
    EXPECT_EQ(FieldText(sheet->devmode().userName), L"");
    EXPECT_EQ(FieldText(sheet->devmode().jobName), L"report");
}

TEST_F(LeavePageTest, UntouchedPlaceholderKeepsTheDigest) {
    PrivateDevmode devmode = SecureDevmode();
    SetField(devmode.userName, 80, L"ann");
    SetField(devmode.jobName, 80, L"payroll");
    boxes.Clear();
    auto sheet = Open(0, devmode);
    SetWindowTextW(sheet->item(IDC_JOB_NAME_EDIT), L"payroll 2");
    EXPECT_TRUE(sheet->Apply());
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234);
    EXPECT_EQ(FieldText(sheet->devmode().jobName), L"payroll 2");
    EXPECT_EQ(FieldText(sheet->devmode().userName), L"ann");
}

struct DigestCase {
    const wchar_t* pin;
    const char* digest;
};

TEST_F(LeavePageTest, NewPinStoresTheSha256OfItsDigits) {
    const DigestCase cases[] = {{L"1234", kDigest1234},
                                {L"0000", kDigest0000},
                                {L"5678", kDigest5678},
                                {L"0042", kDigest0042},
                                {L"9999", kDigest9999}};
    for (const DigestCase& c : cases) {
        auto sheet = Open(0, SecureDevmode("", L"u", L"j"));
        EnterPin(*sheet, c.pin);
        EXPECT_TRUE(sheet->Apply());
        EXPECT_STREQ(sheet->devmode().pinDigest, c.digest);
        EXPECT_EQ(sheet->context().pinEdited, 0u);

        // Leaving again without touching the PIN edit keeps that digest.
        SetFocus(sheet->item(IDC_USER_NAME_EDIT));
        EXPECT_TRUE(sheet->Apply());
        EXPECT_STREQ(sheet->devmode().pinDigest, c.digest);
    }
}

TEST_F(LeavePageTest, ComputePinDigestMatchesVectorsAndRefusesMalformedPins) {
    char digest[kPinDigestBytes];
    ASSERT_TRUE(ComputePinDigest(L"1234", digest));
    EXPECT_STREQ(digest, kDigest1234);
    const wchar_t* const noPin = nullptr;
    for (const wchar_t* bad :
         {L"", L"123", L"12345", L"12a4", L"\xFF11\xFF12\xFF13\xFF14", noPin}) {
        memset(digest, 'x', sizeof(digest));
        DWORD error = 0;
        EXPECT_FALSE(ComputePinDigest(bad, digest, &error));
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(digest[0], 'x');  // untouched
    }
    DWORD error = 0;
    EXPECT_FALSE(ComputePinDigest(L"1234", nullptr, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A caller that does not ask for the error gets the same refusal.
    EXPECT_FALSE(ComputePinDigest(L"123", digest));
    EXPECT_EQ(digest[0], 'x');
}

struct BadPinCase {
    const char* what;
    const wchar_t* typed;
};

TEST_F(LeavePageTest, MalformedPinIsRefusedWithThePinWarning) {
    const BadPinCase cases[] = {{"empty", L""},
                                {"three digits", L"123"},
                                {"a letter", L"12a4"},
                                {"a space", L"12 4"},
                                {"full-width digits", L"\xFF11\xFF12\xFF13\xFF14"},
                                {"a sign", L"-123"}};
    for (const DWORD options : {DWORD{0}, DRVOPT_ALT_TEMPLATE}) {
        for (const BadPinCase& c : cases) {
            // No PIN to keep: an empty edit is no PIN either.
            auto sheet = Open(options, SecureDevmode("", L"u", L"j"), {});
            // The keyboard takes digits only; what else gets in comes pasted.
            SetFocus(sheet->item(IDC_PIN_EDIT));
            SetWindowTextW(sheet->item(IDC_PIN_EDIT), c.typed);
            SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"typed user");
            SetFocus(sheet->item(IDC_USER_NAME_EDIT));
            const PrivateDevmode before = sheet->devmode();
            boxes.Clear();
            EXPECT_FALSE(sheet->Apply()) << c.what;
            ExpectWarning(*sheet,
                          options & DRVOPT_ALT_TEMPLATE ? IDS_PIN_MESSAGE_ALT : IDS_PIN_MESSAGE,
                          IDS_PIN_CAPTION);
            EXPECT_EQ(Focused(), sheet->item(IDC_PIN_EDIT)) << c.what;
            EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0) << c.what;
        }
    }
}

TEST_F(LeavePageTest, ChecksRunPinThenUserThenJobAndStopAtTheFirst) {
    struct Case {
        const char* what;
        const wchar_t* pin;
        const wchar_t* user;
        const wchar_t* job;
        UINT text;
        UINT caption;
        int focus;
    };
    const Case cases[] = {
        {"all three wrong", L"12", L"", L"", IDS_PIN_MESSAGE, IDS_PIN_CAPTION, IDC_PIN_EDIT},
        {"both names empty", L"1234", L"", L"", IDS_USER_NAME_MESSAGE, IDS_USER_NAME_CAPTION,
         IDC_USER_NAME_EDIT},
        {"user name empty", L"1234", L"", L"job", IDS_USER_NAME_MESSAGE, IDS_USER_NAME_CAPTION,
         IDC_USER_NAME_EDIT},
        {"job name empty", L"1234", L"user", L"", IDS_JOB_NAME_MESSAGE, IDS_JOB_NAME_CAPTION,
         IDC_JOB_NAME_EDIT},
    };
    for (const Case& c : cases) {
        PrivateDevmode devmode = SecureDevmode();
        devmode.customNames = 1;
        auto sheet = Open(DRVOPT_NAME_CHOICE, devmode);
        EnterPin(*sheet, c.pin);
        SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), c.user);
        SetWindowTextW(sheet->item(IDC_JOB_NAME_EDIT), c.job);
        const PrivateDevmode before = sheet->devmode();
        boxes.Clear();
        EXPECT_FALSE(sheet->Apply()) << c.what;
        ExpectWarning(*sheet, c.text, c.caption);
        EXPECT_EQ(Focused(), sheet->item(c.focus)) << c.what;
        EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0) << c.what;
        EXPECT_EQ(sheet->context().pinEdited, 1u) << c.what;
    }

    // A name not given at all is an empty one, checked in the same order.
    PrivateDevmode devmode = SecureDevmode();
    devmode.customNames = 1;
    auto sheet = Open(DRVOPT_NAME_CHOICE, devmode);
    boxes.Clear();
    EXPECT_FALSE(CheckNames(sheet->page(), &sheet->context(), nullptr, nullptr));
    ExpectWarning(*sheet, IDS_USER_NAME_MESSAGE, IDS_USER_NAME_CAPTION);
    boxes.Clear();
    EXPECT_FALSE(CheckNames(sheet->page(), &sheet->context(), L"user", nullptr));
    ExpectWarning(*sheet, IDS_JOB_NAME_MESSAGE, IDS_JOB_NAME_CAPTION);
    EXPECT_EQ(Focused(), sheet->item(IDC_JOB_NAME_EDIT));
}

TEST_F(LeavePageTest, ANameWarningKeepsTheTypedPin) {
    PrivateDevmode devmode = SecureDevmode();
    devmode.pinDigest[0] = '\0';
    auto sheet = Open(0, devmode);  // names typed by hand, both empty
    EnterPin(*sheet, L"1234");      // the focus stays there, as when the user presses Enter
    boxes.Clear();
    EXPECT_FALSE(sheet->Apply());
    ExpectWarning(*sheet, IDS_USER_NAME_MESSAGE, IDS_USER_NAME_CAPTION);
    EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_PIN_EDIT)), L"1234");

    SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"ann");
    SetWindowTextW(sheet->item(IDC_JOB_NAME_EDIT), L"payroll");
    boxes.Clear();
    EXPECT_TRUE(sheet->Apply());
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234);
}

TEST_F(LeavePageTest, TabbingThroughThePinEditKeepsOnlyAStoredPin) {
    struct Case {
        const char* what;
        bool stored;
        bool typeAndErase;
        bool accepted;
    };
    const Case cases[] = {
        {"a PIN set before, nothing typed", true, false, true},
        {"no PIN set before", false, false, false},
        {"digits typed and erased again", true, true, false},
    };
    for (const Case& c : cases) {
        auto sheet = Open(0, SecureDevmode(c.stored ? kDigest1234 : "", L"u", L"j"));
        const HWND pin = sheet->item(IDC_PIN_EDIT);
        SetFocus(sheet->item(IDC_SECURE_ENABLE));
        SendMessageW(sheet->sheet(), WM_NEXTDLGCTL, 0, FALSE);  // Tab
        ASSERT_EQ(Focused(), pin) << c.what;
        if (c.typeAndErase) {
            SecurePageSheet::Type(pin, L"12\b\b");
        }
        SendMessageW(sheet->sheet(), WM_NEXTDLGCTL, 0, FALSE);
        ASSERT_NE(Focused(), pin) << c.what;
        const PrivateDevmode before = sheet->devmode();
        boxes.Clear();
        EXPECT_EQ(sheet->Apply(), c.accepted) << c.what;
        if (c.accepted) {
            EXPECT_TRUE(boxes.boxes().empty()) << c.what;
            EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234) << c.what;
            EXPECT_EQ(SecurePageSheet::Text(pin), L"0000") << c.what;  // the placeholder is back
            EXPECT_EQ(sheet->context().pinEdited, 0u) << c.what;
        } else {
            ExpectWarning(*sheet, IDS_PIN_MESSAGE, IDS_PIN_CAPTION);
            EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0) << c.what;
        }
    }
}

TEST_F(LeavePageTest, RefusalKeepsThePageWhenSwitchingTabs) {
    PageSetup setup;
    setup.secondPage = true;
    auto sheet = Open(0, SecureDevmode("", L"u", L"j"), setup);
    EnterPin(*sheet, L"12");
    boxes.Clear();
    EXPECT_FALSE(sheet->LeaveToSecondPage());
    EXPECT_EQ(sheet->currentPage(), 0);
    EXPECT_EQ(boxes.boxes().size(), 1u);
    // The focus went back to the PIN edit, which starts over.
    EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_PIN_EDIT)), L"");
    SecurePageSheet::Type(sheet->item(IDC_PIN_EDIT), L"1234");
    EXPECT_TRUE(sheet->LeaveToSecondPage());
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234);
}

TEST_F(LeavePageTest, AutomaticNamesMayBeEmpty) {
    PrivateDevmode devmode = SecureDevmode();
    devmode.customNames = 0;
    SetField(devmode.userName, 80, L"old");
    auto sheet = Open(DRVOPT_NAME_CHOICE, devmode);
    SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"");
    boxes.Clear();
    EXPECT_TRUE(sheet->Apply());
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(FieldText(sheet->devmode().userName), L"");
    EXPECT_EQ(FieldText(sheet->devmode().jobName), L"");
}

TEST_F(LeavePageTest, EightyCharacterNamesAreCopiedWholeAndTerminated) {
    PrivateDevmode devmode = SecureDevmode();
    memset(devmode.userName, 0x41, sizeof(devmode.userName));  // no terminator anywhere
    memset(devmode.jobName, 0x41, sizeof(devmode.jobName));
    devmode.userName[0] = u'\0';
    devmode.jobName[0] = u'\0';
    auto sheet = Open(0, devmode);
    const std::wstring user(80, L'u');
    std::wstring job;
    for (int i = 0; i < 80; ++i) {
        job.push_back(static_cast<wchar_t>(L'a' + i % 26));
    }
    SecurePageSheet::Type(sheet->item(IDC_USER_NAME_EDIT), user + L"overflow");
    SecurePageSheet::Type(sheet->item(IDC_JOB_NAME_EDIT), job);
    EXPECT_TRUE(sheet->Apply());
    EXPECT_EQ(FieldText(sheet->devmode().userName), user);
    EXPECT_EQ(FieldText(sheet->devmode().jobName), job);
    EXPECT_EQ(sheet->devmode().userName[80], u'\0');
    EXPECT_EQ(sheet->devmode().jobName[80], u'\0');
}

TEST_F(LeavePageTest, RightToLeftPageWarnsRightToLeft) {
    auto sheet = Open(0, SecureDevmode());
    EnterPin(*sheet, L"1");
    SetWindowLongPtrW(sheet->page(), GWL_EXSTYLE,
                      GetWindowLongPtrW(sheet->page(), GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
    boxes.Clear();
    EXPECT_FALSE(sheet->Apply());
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].style, 0x180030u);
}

TEST_F(LeavePageTest, StringsTheModuleLacksReadAsEmpty) {
    auto sheet = Open(0, SecureDevmode());
    sheet->context().resourceModule = GetModuleHandleW(nullptr);  // holds no page strings
    EnterPin(*sheet, L"1");
    boxes.Clear();
    EXPECT_FALSE(sheet->Apply());
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"");
    EXPECT_EQ(boxes.boxes()[0].caption, L"");
}

TEST_F(LeavePageTest, PlaceholderWithoutAStoredDigestIsNotAPin) {
    // Leaving with secure printing off drops the digest; the edit still shows four digits.
    auto sheet = Open(0, SecureDevmode(kDigest1234, L"u", L"j"));
    SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
    EXPECT_TRUE(sheet->Apply());
    ASSERT_EQ(sheet->devmode().pinDigest[0], '\0');
    // The placeholder went with the digest it stood for.
    ASSERT_EQ(SecurePageSheet::Text(sheet->item(IDC_PIN_EDIT)), L"");

    // Switching it back on must not send a secure job without a PIN.
    SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
    boxes.Clear();
    EXPECT_FALSE(sheet->Apply());
    ExpectWarning(*sheet, IDS_PIN_MESSAGE, IDS_PIN_CAPTION);
    EXPECT_EQ(Focused(), sheet->item(IDC_PIN_EDIT));
    EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_PIN_EDIT)), L"");
    SecurePageSheet::Type(sheet->item(IDC_PIN_EDIT), L"5678");
    EXPECT_TRUE(sheet->Apply());
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest5678);
}

TEST(PinDigest, HashingLeavesNoKeyContainerBehind) {
    constexpr wchar_t kProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
    HCRYPTPROV provider = 0;
    // Start without the user's default container of the provider (this deletes it).
    CryptAcquireContextW(&provider, nullptr, kProvider, PROV_RSA_AES, CRYPT_DELETEKEYSET);
    char digest[kPinDigestBytes] = {};
    ASSERT_TRUE(ComputePinDigest(L"1234", digest));
    EXPECT_STREQ(digest, kDigest1234);
    EXPECT_FALSE(CryptAcquireContextW(&provider, nullptr, kProvider, PROV_RSA_AES, 0))
        << "hashing created a key container";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
}

TEST_F(LeavePageTest, DigestFailureKeepsThePageAndTheOldDigest) {
    auto sheet = Open(0, SecureDevmode(kDigest1234, L"u", L"j"));
    EnterPin(*sheet, L"5678");
    SetWindowTextW(sheet->item(IDC_JOB_NAME_EDIT), L"new job");
    const PrivateDevmode before = sheet->devmode();
    {
        // CryptoAPI finds its providers under HKEY_LOCAL_MACHINE; pointing that at an empty key
        // of the test's own makes every acquisition fail, for this process only.
        const KeyOverride broken(HKEY_LOCAL_MACHINE, L"Software\\PinPrintTests\\EmptyMachine");
        char digest[kPinDigestBytes] = "untouched";
        DWORD error = 0;
        ASSERT_FALSE(ComputePinDigest(L"5678", digest, &error)) << "providers still found";
        EXPECT_NE(error, 0u);
        EXPECT_STREQ(digest, "untouched");

        boxes.Clear();
        EXPECT_FALSE(sheet->Apply());
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].caption, Caption(IDS_PIN_CAPTION));
        EXPECT_FALSE(boxes.boxes()[0].text.empty());
        EXPECT_EQ(boxes.boxes()[0].style, kWarningStyle);
        EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0);
        EXPECT_EQ(sheet->context().pinEdited, 1u);
        EXPECT_EQ(Focused(), sheet->item(IDC_PIN_EDIT));
    }
    // With the providers back the PIN typed now is hashed.
    SecurePageSheet::Type(sheet->item(IDC_PIN_EDIT), L"5678");
    EXPECT_TRUE(sheet->Apply());
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest5678);
    EXPECT_EQ(FieldText(sheet->devmode().jobName), L"new job");
}

}  // namespace
}  // namespace pinprint::test
