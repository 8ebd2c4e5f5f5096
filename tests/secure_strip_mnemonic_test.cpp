// Captions of the warning boxes lose their keyboard-mnemonic markers.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "pages/strip_mnemonic.h"
#include "support/guarded_array.h"

namespace {

struct Case {
    const wchar_t* caption;
    const wchar_t* expected;
};

const Case kCases[] = {{L"&Name", L"Name"},
                       {L"Na&me", L"Name"},
                       {L"Name(&N)", L"Name"},
                       {L"Name(&N)...", L"Name"},
                       {L"Name (&N)", L"Name "},
                       {L"Name(&N).", L"Name."},
                       {L"Name(&N)..", L"Name.."},
                       {L"Name(&N)... more", L"Name more"},
                       {L"A&&B", L"A&B"},
                       {L"&&", L"&"},
                       {L"A&&", L"A&"},
                       {L"Save...", L"Save..."},
                       {L"Name&", L"Name"},
                       {L"PIN&", L"PIN"},
                       {L"&", L""},
                       {L"", L""},
                       // A leading '&' never opens a group: it marks the '(' instead.
                       {L"&(N)", L"(N)"},
                       // Group tests stop at the terminator.
                       {L"(&", L"("},
                       {L"(&N", L"(N"},
                       {L"(&N)", L""},
                       // A '(' that a marker escaped is still the one the group takes back.
                       {L"&(&N)x", L"x"},
                       // Only "(&X)" forms a group: one character between '&' and ')'.
                       {L"Name(&No)", L"Name(No)"},
                       {L"Secure Print - &PIN", L"Secure Print - PIN"},
                       {L"\x540D\x524D(&N)", L"\x540D\x524D"}};

// Each caption with more text behind its terminator, and again with its terminator the last
// unit before an inaccessible page: the group test looks up to two units ahead and must stop at
// the terminator.
TEST(StripMnemonic, RemovesMarkersFromCaptions) {
    for (const Case& c : kCases) {
        SCOPED_TRACE("caption \"" + testing::PrintToString(std::wstring(c.caption)) + "\"");
        std::wstring text = c.caption;
        text.push_back(L'\0');
        text += L"(&X)";  // what lies behind the terminator is not part of the caption
        EXPECT_EQ(pinprint::StripMnemonic(text.data()), wcslen(c.expected));
        EXPECT_STREQ(text.c_str(), c.expected);

        const size_t chars = wcslen(c.caption) + 1;
        pinprint::test::GuardedArray<wchar_t> edge(chars);
        ASSERT_TRUE(edge.ok());
        memcpy(edge.data(), c.caption, chars * sizeof(wchar_t));
        EXPECT_EQ(pinprint::StripMnemonic(edge.data()), wcslen(c.expected));
        EXPECT_STREQ(edge.data(), c.expected);
    }
}

TEST(StripMnemonic, IgnoresNull) {
    EXPECT_EQ(pinprint::StripMnemonic(nullptr), 0u);
}

}  // namespace
