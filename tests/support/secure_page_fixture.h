// Test fixture for the secure-print page: a printer of the test's own in Wine's spooler (whose
// "VkDriverOptions" each test sets), the resource module, and a helper that opens the page in
// a real property sheet.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

#include "support/secure_page_sheet.h"
#include "support/test_printer.h"

namespace pinprint::test {

// SHA-256 of the four ASCII digits, computed outside the plug-in (printf 1234 | sha256sum).
inline constexpr char kDigest1234[] =
    "03ac674216f3e15c761ee1a5e255f067953623c8b388b4459e13f978d7c846f4";
inline constexpr char kDigest0000[] =
    "9af15b336e6a9619928537df30b2e6a2376569fcf9d7e773eccede65606529a0";
inline constexpr char kDigest5678[] =
    "f8638b979b2f4f793ddb6dbd197e0ee25a7a6ea32b0ae22f5e3c5d119d839e75";
inline constexpr char kDigest0042[] =
    "1e20f383137ae06c4989e4971e673aa5d1b07143861c50de354f5c1f1a732f9e";
inline constexpr char kDigest9999[] =
    "888df25ae35772424a560c7152a1de794440e0ea5cfee62828333a456a506e05";

// A character and whether each name filter takes it: the short one, the full one with the
// 8-bit test, and the full one with the ANSI test.
struct CharacterCase {
    const char* what;
    wchar_t c;
    bool shortFilter;
    bool fullLatin1;
    bool fullAnsi;
};

class SecurePageTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // Sets the printer's options word and opens the page on `devmode`.
    std::unique_ptr<SecurePageSheet> Open(DWORD options, const PrivateDevmode& devmode,
                                          PageSetup setup = {});
    // Opens the page with the options word as it is.
    std::unique_ptr<SecurePageSheet> OpenAsIs(const PrivateDevmode& devmode, PageSetup setup = {});

    // A devmode with secure printing on, `digest` stored ("" for none) and, when given, the
    // names typed by hand before.
    static PrivateDevmode SecureDevmode(const char* digest = kDigest1234,
                                        const wchar_t* user = nullptr,
                                        const wchar_t* job = nullptr);

    // Focuses the PIN edit (which empties it) and types `pin`.
    static void EnterPin(SecurePageSheet& sheet, const std::wstring& pin);

    // Opens the page in every layout (names typed by hand, so that the name edits are enabled
    // for an input method) and expects each filter's answer for every character, typed or
    // entered through an input method, in both name edits.
    void ExpectFiltersDecide(std::span<const CharacterCase> cases);

    // Enters `c` the way `input` does into an edit that holds "ab", caret at the end, and tells
    // whether the edit took it (once).
    static bool TakesCharacter(SecurePageSheet& sheet, int edit, wchar_t c,
                               SecurePageSheet::Input input = SecurePageSheet::Input::Keys);

    HMODULE resources() const { return resources_.get(); }
    TestPrinter& printer() { return *printer_; }

    // Every message box of the test is recorded and dismissed, so that none can block it.
    MessageBoxRecorder boxes;

  private:
    ResourceModule resources_;
    std::unique_ptr<TestPrinter> printer_;
};

}  // namespace pinprint::test
