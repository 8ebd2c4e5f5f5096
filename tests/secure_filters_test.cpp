// The name edits' character filters, driven with WM_CHAR, an input method and WM_PASTE on a real
// page.
// Code page 1252 here; the code page 932 cases run in a Japanese-locale process of their own
// (tests/fixtures/locales).
#include <gtest/gtest.h>

#include <windows.h>
#include <imm.h>

#include <string>
#include <vector>

#include "config/driver_options.h"
#include "pages/name_filters.h"
#include "resmodule/resource_ids.h"
#include "support/secure_page_fixture.h"

namespace pinprint::test {
namespace {

const int kNameEdits[] = {IDC_USER_NAME_EDIT, IDC_JOB_NAME_EDIT};

// The options that give each filter kind and layout.
struct Layout {
    const char* name;
    DWORD options;
};
const Layout kShort = {"short", DRVOPT_SHORT_NAMES};
const Layout kFullLatin1 = {"full, 8-bit test", 0};
const Layout kFullNameChoice = {"full, ANSI test by radio pair", DRVOPT_NAME_CHOICE};
const Layout kFullLabelSwap = {"full, ANSI test by swapped note", DRVOPT_LABEL_SWAP};

class NameFilterTest : public SecurePageTest {
  protected:
    // Names typed by hand, so that the name edits are enabled whatever the layout: an input
    // method only reaches an edit that can take the focus.
    static PrivateDevmode NamesByHand() {
        PrivateDevmode devmode = DefaultDevmode();
        devmode.customNames = 1;
        return devmode;
    }

    // Typed, or committed by an input method: every character meets the same rule.
    static bool Accepts(SecurePageSheet& sheet, int edit, wchar_t c) {
        const bool typed = TakesCharacter(sheet, edit, c);
        for (SecurePageSheet::Input input :
             {SecurePageSheet::Input::ImeChars, SecurePageSheet::Input::ImeResult}) {
            EXPECT_EQ(TakesCharacter(sheet, edit, c, input), typed)
                << SecurePageSheet::InputName(input) << ", U+" << std::hex << int(c);
        }
        return typed;
    }

    void ExpectForAll(const Layout& layout, const std::wstring& chars, bool accepted) {
        auto sheet = Open(layout.options, NamesByHand());
        for (int edit : kNameEdits) {
            for (wchar_t c : chars) {
                EXPECT_EQ(Accepts(*sheet, edit, c), accepted)
                    << layout.name << ", edit " << edit << ", U+" << std::hex << int(c);
            }
        }
    }
};

const std::wstring kRefused = L"\"%*+,/;=?\\|";
const std::wstring kPunctuationAccepted = L"-.:@_()[]<>!#$&'^~ ";

// The eleven characters are refused by every filter; other punctuation, letters and digits are
// accepted.
TEST_F(NameFilterTest, AsciiIsDecidedAlikeByEveryFilter) {
    for (const Layout& layout : {kShort, kFullLatin1, kFullNameChoice, kFullLabelSwap}) {
        ExpectForAll(layout, kRefused, false);
        ExpectForAll(layout, kPunctuationAccepted + L"aZ09", true);
    }
}

// The characters whose fate depends on the filter kind and the layout (code page 1252).
const CharacterCase kCp1252Cases[] = {
    {"e acute", 0x00E9, true, true, true},
    {"euro sign (one byte in 1252)", 0x20AC, true, false, true},
    {"U+0080 (its byte is the euro sign in 1252)", 0x0080, true, true, false},
    {"kanji", 0x6F22, true, false, false},
    {"half-width katakana", 0xFF71, true, false, false},
    {"Cyrillic a", 0x0430, true, false, false},
};

TEST_F(NameFilterTest, FilterKindAndLayoutDecideAboveAscii) {
    ASSERT_EQ(GetACP(), 1252u) << "these cases are for code page 1252";
    ExpectFiltersDecide(kCp1252Cases);
}

TEST_F(NameFilterTest, FullFiltersFollowTheLayoutShownAtEachKeystroke) {
    // The filters look at what is visible, not at the options: show the radio pair on a page
    // laid out without it and the euro sign gets through.
    auto sheet = Open(0, DefaultDevmode());
    EXPECT_FALSE(Accepts(*sheet, IDC_USER_NAME_EDIT, 0x20AC));
    ShowWindow(sheet->item(IDC_NAMES_AUTO), SW_SHOW);
    EXPECT_TRUE(Accepts(*sheet, IDC_USER_NAME_EDIT, 0x20AC));
}

TEST_F(NameFilterTest, ControlCharactersReachTheEdit) {
    for (const Layout& layout : {kShort, kFullLatin1, kFullNameChoice}) {
        auto sheet = Open(layout.options, DefaultDevmode());
        for (int edit : kNameEdits) {
            SetWindowTextW(sheet->item(edit), L"abc");
            SendMessageW(sheet->item(edit), EM_SETSEL, 3, 3);
            SendMessageW(sheet->item(edit), WM_CHAR, VK_BACK, 1);
            EXPECT_EQ(SecurePageSheet::Text(sheet->item(edit)), L"ab") << layout.name;
        }
    }
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) {
        return false;
    }
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    const bool placed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return placed;
}

TEST_F(NameFilterTest, PastingInsertsNothing) {
    for (const Layout& layout : {kShort, kFullLatin1, kFullNameChoice}) {
        auto sheet = Open(layout.options, DefaultDevmode());
        ASSERT_TRUE(PutOnClipboard(sheet->sheet(), L"pasted"));
        for (int edit : kNameEdits) {
            SetWindowTextW(sheet->item(edit), L"ab");
            SendMessageW(sheet->item(edit), WM_PASTE, 0, 0);
            SendMessageW(sheet->item(edit), WM_CHAR, 0x16, 1);  // Ctrl+V
            EXPECT_EQ(SecurePageSheet::Text(sheet->item(edit)), L"ab") << layout.name;
        }
        // The clipboard did hold text: an edit without the filters takes it.
        SendMessageW(sheet->item(IDC_PIN_EDIT), EM_LIMITTEXT, 0, 0);
        SetWindowTextW(sheet->item(IDC_PIN_EDIT), L"");
        SendMessageW(sheet->item(IDC_PIN_EDIT), WM_PASTE, 0, 0);
        EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_PIN_EDIT)), L"pasted");
    }
}

// Windows' edit control inserts an input method's result string itself, with no WM_CHAR at all
// (Wine's hands it on as WM_CHAR, which the tables above then see). This edit does as Windows'
// does, so the filter must keep the result string from reaching it.
WNDPROC plainEditProc = nullptr;
// The flags of every composition message the edit itself was handed.
std::vector<LPARAM> compositionsSeen;

LRESULT CALLBACK EditInsertingResults(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IME_COMPOSITION) {
        compositionsSeen.push_back(lParam);
    }
    if (message == WM_IME_COMPOSITION && (lParam & GCS_RESULTSTR) != 0) {
        wchar_t text[64] = {};
        const HIMC context = ImmGetContext(edit);
        ImmGetCompositionStringW(context, GCS_RESULTSTR, text, sizeof(text) - sizeof(wchar_t));
        ImmReleaseContext(edit, context);
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
        return 0;
    }
    return CallWindowProcW(plainEditProc, edit, message, wParam, lParam);
}

LRESULT CALLBACK FilteredEdit(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    const CharacterRule noSlash = [](HWND, wchar_t c) { return c != L'/'; };
    return FilterCharacters(EditInsertingResults, noSlash, edit, message, wParam, lParam);
}

HWND CreateEdit(WNDPROC proc) {
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 200,
                                24, nullptr, nullptr, nullptr, nullptr);
    if (edit != nullptr) {
        plainEditProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
        SetForegroundWindow(edit);
    }
    return edit;
}

TEST(CommittedText, AnEditThatInsertsResultsItselfGetsOnlyAcceptedCharacters) {
    for (const bool filtered : {false, true}) {
        HWND edit = CreateEdit(filtered ? FilteredEdit : EditInsertingResults);
        ASSERT_NE(edit, nullptr);
        SecurePageSheet::Enter(edit, L"a/b", SecurePageSheet::Input::ImeResult);
        EXPECT_EQ(SecurePageSheet::Text(edit), filtered ? L"ab" : L"a/b") << filtered;
        DestroyWindow(edit);
    }
}

// A composition message announcing a result the filter cannot read inserts nothing; one that
// also carries the next composition hands the edit that part, without the result.
TEST(CommittedText, OnlyAReadableResultIsTypedAndTheRestReachesTheEdit) {
    const struct {
        const char* what;
        bool inputContext;   // false: the application took the edit's input context away
        bool resultWaiting;  // an input method has just committed "a/b"
        LPARAM flags;
        const wchar_t* text;  // what the edit then holds
        std::vector<LPARAM> forwarded;
    } cases[] = {
        {"no input context", false, false, GCS_RESULTSTR, L"", {}},
        {"no result string", true, false, GCS_RESULTSTR, L"", {}},
        {"a result and the next composition",
         true,
         true,
         GCS_RESULTSTR | GCS_COMPSTR,
         L"abab",
         {GCS_COMPSTR}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HWND edit = CreateEdit(FilteredEdit);
        ASSERT_NE(edit, nullptr);
        SetFocus(edit);
        if (!c.inputContext) {
            ImmAssociateContext(edit, nullptr);
        }
        if (c.resultWaiting) {
            SecurePageSheet::Enter(edit, L"a/b", SecurePageSheet::Input::ImeResult);
            ASSERT_EQ(SecurePageSheet::Text(edit), L"ab");
        }
        compositionsSeen.clear();
        SendMessageW(edit, WM_IME_COMPOSITION, 0, c.flags);
        EXPECT_EQ(SecurePageSheet::Text(edit), c.text);
        EXPECT_EQ(compositionsSeen, c.forwarded);
        DestroyWindow(edit);
    }
}

TEST_F(NameFilterTest, EditsTakeTwentyOrEightyCharacters) {
    const struct {
        DWORD options;
        size_t limit;
    } cases[] = {{DRVOPT_SHORT_NAMES, 20}, {0, 80}, {DRVOPT_NAME_CHOICE, 80}};
    for (const auto& c : cases) {
        PrivateDevmode devmode = DefaultDevmode();
        auto sheet = Open(c.options, devmode);
        for (int edit : kNameEdits) {
            SetWindowTextW(sheet->item(edit), L"");
            SecurePageSheet::Type(sheet->item(edit), std::wstring(100, L'n'));
            EXPECT_EQ(SecurePageSheet::Text(sheet->item(edit)).size(), c.limit);
            EXPECT_EQ(SendMessageW(sheet->item(edit), EM_GETLIMITTEXT, 0, 0),
                      static_cast<LRESULT>(c.limit));
        }
    }
}

TEST_F(NameFilterTest, NamesFromTheDevmodeAreShownUnfilteredAndWhole) {
    PrivateDevmode devmode = DefaultDevmode();
    const std::wstring user = L"a/b|c\x6F22\x20AC and more than twenty";
    SetField(devmode.userName, 80, user);
    SetField(devmode.jobName, 80, L"job;name");
    auto sheet = Open(DRVOPT_SHORT_NAMES, devmode);
    EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_USER_NAME_EDIT)), user);
    EXPECT_EQ(SecurePageSheet::Text(sheet->item(IDC_JOB_NAME_EDIT)), L"job;name");
}

}  // namespace
}  // namespace pinprint::test
