// Operations that write into a caller's buffer or read a block the driver hands in, run with
// that buffer ending exactly at an inaccessible page: the bounded formatter, the devmode
// operations, the copyright formatting, the driver version text, the name copies on leaving the
// secure-print page (the mnemonic stripping of a warning caption: secure_strip_mnemonic_test).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "pages/format_bounded.h"
#include "pages/about_page.h"
#include "pages/page_procs.h"
#include "pages/secure_page_leave.h"
#include "pages/secure_print_page.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/guard_page.h"
#include "support/guarded_array.h"
#include "support/secure_page_fixture.h"
#include "support/test_printer.h"

namespace pinprint::test {
namespace {

TEST(GuardPage, FormatBoundedStaysInItsDestination) {
    for (size_t bytes : {2u, 3u, 8u, 10u, 32u, 256u, 1024u}) {
        GuardedBuffer buffer(bytes);
        ASSERT_TRUE(GuardFollows(buffer));
        auto* text = buffer.as<wchar_t>();
        // Far longer than any destination: the formatter must cut, terminate and stop.
        EXPECT_EQ(
            FormatBounded(text, bytes, L"%s-%04d-%s", std::wstring(3000, L'x').c_str(), 7, L"tail"),
            kFormatTruncated)
            << bytes;
        EXPECT_EQ(text[bytes / 2 - 1], L'\0') << bytes;
        EXPECT_EQ(wcslen(text), bytes / 2 - 1) << bytes;
    }
}

// An input block is as long as its own dwSize says; nothing beyond that may be read.
TEST(GuardPage, DevmodeOperationsReadOnlyTheDeclaredInput) {
    for (uint32_t declared : {4u, 8u, 11u, 12u, 20u, 21u, 96u, 651u, 652u}) {
        GuardedBuffer input(declared);
        ASSERT_TRUE(GuardFollows(input));
        memset(input.data(), 0x01, declared);  // secureEnabled 1 wherever it is covered
        memcpy(input.data(), &declared, sizeof(declared));
        if (declared >= 8) {
            memcpy(input.as<char>() + 4, &kPrivateDevmodeSignature, 4);
        }
        GuardedBuffer output(kPrivateDevmodeSize);
        auto* out = output.as<PrivateDevmode>();
        ASSERT_TRUE(DefaultPrivateDevmode(out));
        int16_t copies = 4;
        EXPECT_TRUE(MergePrivateDevmode(input.data(), out, &copies)) << declared;
        EXPECT_EQ(copies, declared > 20 ? 1 : 4) << declared;
        EXPECT_EQ(out->dwSize, kPrivateDevmodeSize);
        EXPECT_TRUE(ConvertPrivateDevmode(input.data(), out)) << declared;
        EXPECT_TRUE(ValidatePrivateDevmode(out));
    }
}

// The output block is exactly the record: default, reset, validate and merge stay within it.
TEST(GuardPage, DevmodeOperationsWriteOnlyTheRecord) {
    GuardedBuffer output(kPrivateDevmodeSize);
    auto* out = output.as<PrivateDevmode>();
    memset(out, 0xFF, kPrivateDevmodeSize);
    EXPECT_TRUE(ValidatePrivateDevmode(out));
    EXPECT_TRUE(ResetPrivateDevmode(out));
    EXPECT_TRUE(DefaultPrivateDevmode(out));
    std::vector<unsigned char> big(4096, 0x41);
    const uint32_t size = 4096;
    memcpy(big.data(), &size, 4);
    memcpy(big.data() + 4, &kPrivateDevmodeSignature, 4);
    int16_t copies = 2;
    EXPECT_TRUE(MergePrivateDevmode(big.data(), out, &copies));
    EXPECT_EQ(out->computerName[kComputerNameChars], u'\0');
}

constexpr wchar_t kYear1[] = L"CopyrightYear1";

// The copyright value goes through the format into a destination of the caller's size; the
// value itself is read into the page's own 512-byte buffer, so an unterminated one must be
// refused without the destination being touched.
TEST(GuardPage, CopyrightYearStaysInTheDestination) {
    ResourceModule resources;
    ASSERT_NE(resources.get(), nullptr);
    TestPrinter printer(UniqueTestName(L"Guard copyright"));
    ASSERT_TRUE(printer.ok());
    AboutContext context(printer.handle(), printer.name(), resources.get(), nullptr);

    const std::wstring format = ResourceString(resources.get(), IDS_COPYRIGHT1_FORMAT);
    const size_t at = format.find(L"%s");
    ASSERT_NE(at, std::wstring::npos);

    struct Case {
        const char* what;
        std::wstring value;
        DWORD bytes;  // of the printer data value
        bool usable;
    };
    const Case cases[] = {
        {"year", L"2024", 512, true},
        {"short value without terminator", L"2024", 8, true},
        {"255 characters", std::wstring(255, L'5'), 512, true},
        {"512 bytes without terminator", std::wstring(256, L'9'), 512, false},
        {"longer than 512 bytes", std::wstring(300, L'9'), 602, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(printer.SetString(kYear1, c.value, c.bytes)) << c.what;
        std::wstring full = format;
        full.replace(at, 2, c.value);
        for (size_t bytes : {2u, 4u, 16u, 256u, 1024u}) {
            SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(bytes) + " bytes");
            GuardedArray<wchar_t> destination(bytes / sizeof(wchar_t), L'#');
            ASSERT_TRUE(destination.ok());
            const HRESULT result = FormatCopyrightYear(
                context.context, kYear1, IDS_COPYRIGHT1_FORMAT, destination.data(), bytes);
            const size_t chars = destination.size();
            if (!c.usable) {
                EXPECT_EQ(result, E_FAIL);
                EXPECT_EQ(destination.data()[chars - 1], L'#');
                continue;
            }
            const bool fits = full.size() < chars;
            EXPECT_EQ(result, fits ? S_OK : kFormatTruncated);
            EXPECT_EQ(std::wstring(destination.data()), fits ? full : full.substr(0, chars - 1));
        }
    }
}

TEST(GuardPage, DriverVersionTextStaysInItsBuffer) {
    GuardedArray<wchar_t> text(kVersionTextChars);
    ASSERT_TRUE(text.ok());
    auto& array = *reinterpret_cast<wchar_t(*)[kVersionTextChars]>(text.data());
    text.Fill(L'#');
    // Four five-digit parts fill the buffer to its last element.
    FormatDriverVersion(0xFFFFFFFFFFFFFFFFull, array);
    EXPECT_STREQ(text.data(), L"65535.65535.65535.65535");
}

class GuardPageLeave : public SecurePageTest {};

// Leaving the page copies the edits' names into the driver's devmode; here that devmode ends
// right before the guard page, the edits hold far more than 80 characters, and the fields
// around the names carry stale values that must survive.
TEST_F(GuardPageLeave, NameCopiesStayInTheirFieldsOfADevmodeAtThePageEdge) {
    struct Case {
        const char* what;
        PrivateDevmode devmode;
    };
    const Case cases[] = {{"secure printing off", DefaultDevmode()},
                          {"secure printing on, stored digest", SecureDevmode()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto sheet = Open(0, c.devmode);
        ASSERT_TRUE(sheet->ok());
        const std::wstring user(200, L'u');
        std::wstring job;
        for (int i = 0; i < 200; ++i) {
            job.push_back(static_cast<wchar_t>(L'a' + i % 26));
        }
        SecurePageSheet::Type(sheet->item(IDC_USER_NAME_EDIT), user);
        SecurePageSheet::Type(sheet->item(IDC_JOB_NAME_EDIT), job);

        GuardedBuffer block(sizeof(PrivateDevmode));
        ASSERT_TRUE(GuardFollows(block));
        auto* devmode = block.as<PrivateDevmode>();
        *devmode = c.devmode;
        memset(devmode->userName, 0x41, sizeof(devmode->userName));  // no terminator anywhere
        memset(devmode->jobName, 0x41, sizeof(devmode->jobName));
        SetField(devmode->loginName, kNameChars, L"login");
        SetField(devmode->computerName, kComputerNameChars, L"COMPUTER");
        devmode->customNames = 1;

        // The page's own context, pointed at the guarded devmode.
        OEMUIPSPARAM uiParam = *sheet->context().uiParam;
        uiParam.pOEMDM = devmode;
        SheetContext context = sheet->context();
        context.uiParam = &uiParam;
        EXPECT_EQ(LeaveSecurePrintPage(sheet->page(), &context), FALSE);
        EXPECT_TRUE(boxes.boxes().empty());

        EXPECT_EQ(FieldText(devmode->userName), user.substr(0, kNameChars));
        EXPECT_EQ(FieldText(devmode->jobName), job.substr(0, kNameChars));
        EXPECT_EQ(devmode->userName[kNameChars], u'\0');
        EXPECT_EQ(devmode->jobName[kNameChars], u'\0');
        EXPECT_EQ(FieldText(devmode->loginName), L"login");
        EXPECT_EQ(FieldText(devmode->computerName), L"COMPUTER");
        EXPECT_EQ(devmode->customNames, 1);
        EXPECT_EQ(devmode->secureEnabled, c.devmode.secureEnabled);
    }
}

// The page does not rely on the driver having validated its devmode: a record with every
// string unterminated, a 65-character digest, flags of 0xFF and range values above 100, ending
// right before the guard page, is read and written only within its 652 bytes, and once the page
// is left it passes validation unchanged.
TEST_F(GuardPageLeave, AnUnvalidatedRecordIsKeptInItsBytesAndLeftValid) {
    const struct {
        const char* what;
        DWORD options;
        DWORD perDocument;
    } cases[] = {{"plain layout", 0x0, 1},
                 {"name choice, short names", 0x6, 1},
                 {"swapped note, locked", 0x8, 0},
                 {"always unlocked, alternative template", 0x30, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GuardedBuffer block(sizeof(PrivateDevmode));
        ASSERT_TRUE(GuardFollows(block));
        auto* devmode = block.as<PrivateDevmode>();
        memset(devmode, 0xFF, sizeof(*devmode));
        DefaultPrivateDevmode(devmode);
        devmode->rangeValue1 = 101;
        devmode->rangeValue2 = 0xFFFFFFFF;
        devmode->secureEnabled = 0xFF;
        devmode->customNames = 0xFF;
        devmode->pageFlags = 0xFF;
        memset(devmode->pinDigest, 'a', sizeof(devmode->pinDigest));
        for (char16_t* field : {devmode->userName, devmode->jobName, devmode->loginName}) {
            std::fill(field, field + kNameChars + 1, u'N');
        }
        std::fill(devmode->computerName, devmode->computerName + kComputerNameChars + 1, u'C');

        PageSetup setup;
        setup.perDocument = c.perDocument;
        setup.templateId = (c.options & 0x20) ? IDD_SECURE_PRINT_ALT : IDD_SECURE_PRINT;
        setup.block = devmode;
        auto sheet = Open(c.options, DefaultDevmode(), setup);
        ASSERT_TRUE(sheet->ok());
        EXPECT_TRUE(sheet->Apply());
        EXPECT_TRUE(boxes.boxes().empty());
        sheet.reset();
        EXPECT_EQ(block.GuardHits(), 0);
        PrivateDevmode validated = *devmode;
        ValidatePrivateDevmode(&validated);
        EXPECT_EQ(memcmp(&validated, devmode, sizeof(validated)), 0);
    }
}

// Null pointers where the sheet hands in a record: the page lets itself be left, and messages
// without their record are answered without touching anything.
TEST_F(GuardPageLeave, NullRecordsAreAnsweredWithoutBeingRead) {
    EXPECT_EQ(LeaveSecurePrintPage(nullptr, nullptr), FALSE);
    auto sheet = Open(0, SecureDevmode());
    ASSERT_TRUE(sheet->ok());
    SheetContext noParameters = sheet->context();
    noParameters.uiParam = nullptr;
    EXPECT_EQ(LeaveSecurePrintPage(sheet->page(), &noParameters), FALSE);
    OEMUIPSPARAM noDevmode = *sheet->context().uiParam;
    noDevmode.pOEMDM = nullptr;
    SheetContext withoutDevmode = sheet->context();
    withoutDevmode.uiParam = &noDevmode;
    EXPECT_EQ(LeaveSecurePrintPage(sheet->page(), &withoutDevmode), FALSE);
    EXPECT_TRUE(boxes.boxes().empty());

    const PrivateDevmode before = sheet->devmode();
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_NOTIFY, 0, 0), FALSE);
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_DRAWITEM, IDC_SEPARATOR, 0), TRUE);

    // A driver that handed the page no private devmode: laying the page out, the user's
    // commands and the unlock gesture find nothing to read or change.
    const LONG_PTR kept =
        SetWindowLongPtrW(sheet->page(), DWLP_USER, reinterpret_cast<LONG_PTR>(&withoutDevmode));
    InitSecurePrintPage(sheet->page(), &withoutDevmode, nullptr, FALSE);
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_COMMAND,
                                  MAKEWPARAM(IDC_SECURE_ENABLE, BN_CLICKED), 0),
              FALSE);
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_LBUTTONDBLCLK, 0, 0), FALSE);
    SetWindowLongPtrW(sheet->page(), DWLP_USER, kept);
    EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0);
    EXPECT_TRUE(boxes.boxes().empty());
}

}  // namespace
}  // namespace pinprint::test
