#include <gtest/gtest.h>

#include <cstring>

#include "pages/format_bounded.h"

namespace pinprint {
namespace {

struct Case {
    size_t bytes;
    HRESULT result;
    const wchar_t* text;
};

// "%04d" of 0 into the sizes the pages use and the sizes around the four digits.
TEST(FormatBounded, FourDigitsAtTheirBounds) {
    const Case cases[] = {
        {10, S_OK, L"0000"},            // four digits and the terminator fit exactly
        {11, S_OK, L"0000"},            // the odd last byte is ignored
        {8, kFormatTruncated, L"000"},  // three fit: cut, terminated, reported
        {2, kFormatTruncated, L""},     // room for the terminator only
        {32, S_OK, L"0000"},
    };
    for (const auto& c : cases) {
        wchar_t buffer[24];
        wmemset(buffer, L'#', 24);
        EXPECT_EQ(FormatBounded(buffer, c.bytes, L"%04d", 0), c.result) << c.bytes;
        EXPECT_STREQ(buffer, c.text) << c.bytes;
        // Nothing is written past the destination.
        EXPECT_EQ(buffer[c.bytes / 2], L'#') << c.bytes;
    }
}

TEST(FormatBounded, RefusesSizesWithoutRoomAndNullPointers) {
    wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
    EXPECT_EQ(FormatBounded(buffer, 1, L"%04d", 0), E_INVALIDARG);
    EXPECT_EQ(FormatBounded(buffer, 0, L"%04d", 0), E_INVALIDARG);
    EXPECT_EQ(FormatBounded(buffer, size_t{0xFFFFFFFF} + 1, L"x"), E_INVALIDARG);
    EXPECT_EQ(buffer[0], L'#');
    EXPECT_EQ(FormatBounded(nullptr, 8, L"x"), E_INVALIDARG);
    EXPECT_EQ(FormatBounded(buffer, 8, nullptr), E_INVALIDARG);
    EXPECT_EQ(buffer[0], L'#');
}

// Resource strings are written for the platform, where %s in a wide format is a wide string.
TEST(FormatBounded, PercentSTakesAWideString) {
    wchar_t buffer[64];
    EXPECT_EQ(FormatBounded(buffer, sizeof(buffer), L"Copyright %s PinPrint", L"2026"), S_OK);
    EXPECT_STREQ(buffer, L"Copyright 2026 PinPrint");
    EXPECT_EQ(FormatBounded(buffer, sizeof(buffer), L"%s %s", L"Office", L"Version 1.0.0"), S_OK);
    EXPECT_STREQ(buffer, L"Office Version 1.0.0");
    EXPECT_EQ(FormatBounded(buffer, sizeof(buffer), L"%u.%u.%u", 6u, 1u, 2u), S_OK);
    EXPECT_STREQ(buffer, L"6.1.2");
}

TEST(FormatBounded, ExactFitAndOneOver) {
    wchar_t buffer[8];
    // 7 characters into 8: fits with the terminator in the last element.
    EXPECT_EQ(FormatBounded(buffer, sizeof(buffer), L"%s", L"1234567"), S_OK);
    EXPECT_STREQ(buffer, L"1234567");
    EXPECT_EQ(FormatBounded(buffer, sizeof(buffer), L"%s", L"12345678"), kFormatTruncated);
    EXPECT_STREQ(buffer, L"1234567");
}

}  // namespace
}  // namespace pinprint
