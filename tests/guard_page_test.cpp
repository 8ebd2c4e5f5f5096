// Operations that write into a caller's buffer or read a block the driver hands in, run with
// that buffer ending exactly at an inaccessible page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "module/format_bounded.h"
#include "support/guard_page.h"

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

}  // namespace
}  // namespace pinprint::test
