// Captions of the warning boxes lose their keyboard-mnemonic markers.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "pages/strip_mnemonic.h"

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
                       {L"Name(&N)..", L"Name.."},
                       {L"Name(&N)... more", L"Name more"},
                       {L"A&&B", L"A&B"},
                       {L"&&", L"&"},
                       {L"Save...", L"Save..."},
                       {L"Name&", L"Name"},
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

TEST(StripMnemonic, RemovesMarkersFromCaptions) {
    for (const Case& c : kCases) {
        std::wstring text = c.caption;
        text.push_back(L'\0');
        text += L"(&X)";  // what lies behind the terminator is not part of the caption
        EXPECT_EQ(pinprint::StripMnemonic(text.data()), wcslen(c.expected));
        EXPECT_STREQ(text.c_str(), c.expected)
            << "caption \"" << testing::PrintToString(std::wstring(c.caption)) << "\"";
    }
}

TEST(StripMnemonic, IgnoresNull) {
    EXPECT_EQ(pinprint::StripMnemonic(nullptr), 0u);
}

}  // namespace
