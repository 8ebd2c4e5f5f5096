#include "devmode/private_devmode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace pinprint {
namespace {

using Image = std::array<uint8_t, kPrivateDevmodeSize>;

constexpr uint32_t kForeignSignature = 0x58585858;  // "XXXX"
constexpr uint32_t kSampleCodePage = 0xDEAD;        // no system answers this

Image ImageOf(const PrivateDevmode& dm) {
    Image image;
    std::memcpy(image.data(), &dm, sizeof(dm));
    return image;
}

PrivateDevmode Filled(uint8_t value) {
    PrivateDevmode dm;
    std::memset(&dm, value, sizeof(dm));
    return dm;
}

// Offsets at which two images differ: an empty list reads better in a failure than 652 bytes.
std::vector<size_t> Differences(const Image& actual, const Image& expected) {
    std::vector<size_t> offsets;
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            offsets.push_back(i);
        }
    }
    return offsets;
}

void Put8(Image& image, size_t offset, uint8_t value) {
    image[offset] = value;
}

void Put16(Image& image, size_t offset, uint16_t value) {
    image[offset] = static_cast<uint8_t>(value);
    image[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Image& image, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The bytes a reset writes, by raw offset.
void PutResetFields(Image& image) {
    Put8(image, 20, 0);  // secureEnabled
    Put8(image, 22, 0);  // pinDigest[0]
    Put32(image, 88, AnsiCodePage());
    Put32(image, 92, 0);  // pageFlags
    Put16(image, 96, 0);  // userName[0]
    Put16(image, 258, 0);
    Put16(image, 420, 0);
    Put16(image, 582, 0);
    Put8(image, 648, 0);  // customNames
}

void PutHeader(Image& image) {
    Put32(image, 0, 652);
    Put32(image, 4, 0x564B5053);
    Put32(image, 8, 0x101);
}

template <size_t N>
void SetWide(char16_t (&field)[N], size_t length, char16_t c) {
    for (size_t i = 0; i < length; ++i) {
        field[i] = c;
    }
    if (length < N) {
        field[length] = u'\0';
    }
}

template <size_t N>
std::u16string Wide(const char16_t (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != u'\0') {
        ++length;
    }
    return std::u16string(field, length);
}

void SetDigest(PrivateDevmode& dm, size_t length, char c) {
    for (size_t i = 0; i < length && i <= kPinDigestChars; ++i) {
        dm.pinDigest[i] = c;
    }
    if (length <= kPinDigestChars) {
        dm.pinDigest[length] = '\0';
    }
}

// A complete block of ours with every setting away from its reset value.
PrivateDevmode Sample() {
    PrivateDevmode dm = Filled(0xA5);
    dm.dwSize = 652;
    dm.dwSignature = kPrivateDevmodeSignature;
    dm.dwVersion = 0x101;
    dm.rangeValue1 = 7;
    dm.rangeValue2 = 9;
    dm.secureEnabled = 1;
    SetDigest(dm, 64, 'c');
    dm.codePage = kSampleCodePage;
    dm.pageFlags = kPageFlagUnlocked;
    SetWide(dm.userName, 5, u'u');
    SetWide(dm.jobName, 3, u'j');
    SetWide(dm.loginName, 4, u'l');
    SetWide(dm.computerName, 6, u'c');
    dm.customNames = 1;
    // Valid in every respect but the code page: each string's last element holds its NUL.
    dm.userName[80] = dm.jobName[80] = dm.loginName[80] = dm.computerName[32] = u'\0';
    return dm;
}

// An output block the driver has used before: ours, with settings of an earlier job.
PrivateDevmode StaleOutput() {
    PrivateDevmode dm = Filled(0x3C);
    DefaultPrivateDevmode(&dm);
    dm.rangeValue1 = 55;
    dm.rangeValue2 = 66;
    dm.secureEnabled = 1;
    SetDigest(dm, 64, 'e');
    dm.pageFlags = 0xFFFFFFFF;
    SetWide(dm.userName, 5, u's');
    dm.customNames = 1;
    return dm;
}

// The input as the driver hands it: exactly `length` bytes (at least the dwSize field), the
// first ones taken from `content`, and `declared` in the dwSize field.
std::vector<uint8_t> InputBlock(const PrivateDevmode& content, uint32_t declared, size_t length) {
    std::vector<uint8_t> block(length < 4 ? 4 : length, 0x5A);
    std::memcpy(block.data(), &content, block.size() < 652 ? block.size() : 652);
    std::memcpy(block.data(), &declared, 4);
    return block;
}

std::vector<uint8_t> InputBlock(const PrivateDevmode& content, uint32_t declared) {
    return InputBlock(content, declared, declared);
}

void ExpectInvariants(const PrivateDevmode& dm) {
    EXPECT_EQ(dm.dwSize, 652u);
    EXPECT_EQ(dm.dwSignature, 0x564B5053u);
    EXPECT_EQ(dm.dwVersion, 0x101u);
    EXPECT_LE(dm.rangeValue1, 100u);
    EXPECT_LE(dm.rangeValue2, 100u);
    EXPECT_LE(dm.secureEnabled, 1);
    EXPECT_LE(dm.customNames, 1);
    size_t digest = 0;
    while (digest < sizeof(dm.pinDigest) && dm.pinDigest[digest] != '\0') {
        ++digest;
    }
    EXPECT_TRUE(digest == 0 || digest == 64) << "digest length " << digest;
    EXPECT_EQ(dm.pinDigest[64], '\0');
    EXPECT_EQ(dm.codePage, AnsiCodePage());
    EXPECT_EQ(dm.userName[80], u'\0');
    EXPECT_EQ(dm.jobName[80], u'\0');
    EXPECT_EQ(dm.loginName[80], u'\0');
    EXPECT_EQ(dm.computerName[32], u'\0');
}

TEST(PrivateDevmodeLayout, FieldsLandAtTheirOffsetsLittleEndian) {
    PrivateDevmode dm = Filled(0);
    dm.dwSize = 0x04030201;
    dm.dwSignature = 0x08070605;
    dm.dwVersion = 0x0C0B0A09;
    dm.rangeValue1 = 0x100F0E0D;
    dm.rangeValue2 = 0x14131211;
    dm.secureEnabled = 0x15;
    dm.reserved = 0x16;
    dm.pinDigest[0] = 0x17;
    dm.pinDigest[64] = 0x18;
    dm.alignment1 = 0x19;
    dm.codePage = 0x1D1C1B1A;
    dm.pageFlags = 0x21201F1E;
    dm.userName[0] = 0x2322;
    dm.userName[80] = 0x2524;
    dm.jobName[0] = 0x2726;
    dm.jobName[80] = 0x2928;
    dm.loginName[0] = 0x2B2A;
    dm.loginName[80] = 0x2D2C;
    dm.computerName[0] = 0x2F2E;
    dm.computerName[32] = 0x3130;
    dm.customNames = 0x32;
    dm.alignment2[0] = 0x33;
    dm.alignment2[2] = 0x35;

    Image expected{};
    Put32(expected, 0, 0x04030201);
    Put32(expected, 4, 0x08070605);
    Put32(expected, 8, 0x0C0B0A09);
    Put32(expected, 12, 0x100F0E0D);
    Put32(expected, 16, 0x14131211);
    Put8(expected, 20, 0x15);
    Put8(expected, 21, 0x16);
    Put8(expected, 22, 0x17);
    Put8(expected, 86, 0x18);
    Put8(expected, 87, 0x19);
    Put32(expected, 88, 0x1D1C1B1A);
    Put32(expected, 92, 0x21201F1E);
    Put16(expected, 96, 0x2322);
    Put16(expected, 256, 0x2524);
    Put16(expected, 258, 0x2726);
    Put16(expected, 418, 0x2928);
    Put16(expected, 420, 0x2B2A);
    Put16(expected, 580, 0x2D2C);
    Put16(expected, 582, 0x2F2E);
    Put16(expected, 646, 0x3130);
    Put8(expected, 648, 0x32);
    Put8(expected, 649, 0x33);
    Put8(expected, 651, 0x35);
    EXPECT_EQ(Differences(ImageOf(dm), expected), std::vector<size_t>{});

    // The signature's bytes spell the record's name.
    EXPECT_EQ(std::memcmp(&kPrivateDevmodeSignature, "SPKV", 4), 0);
}

TEST(PrivateDevmodeDefault, WritesOnlyHeaderRangesAndResetFields) {
    PrivateDevmode dm = Filled(0xFF);
    ASSERT_TRUE(DefaultPrivateDevmode(&dm));

    Image expected;
    expected.fill(0xFF);
    PutHeader(expected);
    Put32(expected, 12, 0);
    Put32(expected, 16, 0);
    PutResetFields(expected);
    EXPECT_EQ(Differences(ImageOf(dm), expected), std::vector<size_t>{});
    EXPECT_FALSE(DefaultPrivateDevmode(nullptr));
}

TEST(PrivateDevmodeReset, LeavesHeaderRangesAndTailsAlone) {
    PrivateDevmode dm = Filled(0xFF);
    ASSERT_TRUE(ResetPrivateDevmode(&dm));

    Image expected;
    expected.fill(0xFF);
    PutResetFields(expected);
    EXPECT_EQ(Differences(ImageOf(dm), expected), std::vector<size_t>{});
    EXPECT_FALSE(ResetPrivateDevmode(nullptr));
}

struct ConvertCase {
    const char* name;
    std::function<void(PrivateDevmode&)> prepareInput;
    uint32_t declared;
    uint32_t outputDeclared;
    // What the output must hold afterwards.
    uint32_t rangeValue1, rangeValue2, version;
    uint8_t secureEnabled;
    size_t digestLength;
    uint32_t codePage, pageFlags;
    std::u16string userName;
    uint8_t customNames;
};

const std::u16string kUser = u"uuuuu";

std::vector<ConvertCase> ConvertCases() {
    const uint32_t acp = AnsiCodePage();
    auto none = [](PrivateDevmode&) {};
    return {
        {"whole block of ours", none, 652, 652, 7, 9, 0x101, 1, 64, kSampleCodePage,
         kPageFlagUnlocked, kUser, 1},
        {"foreign signature", [](PrivateDevmode& in) { in.dwSignature = kForeignSignature; }, 652,
         652, 0, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"older version is taken and relabelled", [](PrivateDevmode& in) { in.dwVersion = 0x100; },
         652, 652, 7, 9, 0x101, 1, 64, kSampleCodePage, kPageFlagUnlocked, kUser, 1},
        {"out-of-range value is carried, not validated",
         [](PrivateDevmode& in) { in.rangeValue1 = 250; }, 652, 652, 250, 9, 0x101, 1, 64,
         kSampleCodePage, kPageFlagUnlocked, kUser, 1},
        {"dwSize 20: header and ranges only", none, 20, 652, 7, 9, 0x101, 0, 0, acp, 0, u"", 0},
        {"dwSize 16: first range only", none, 16, 652, 7, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"dwSize 12: header only", none, 12, 652, 0, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"dwSize 92 stops before pageFlags", none, 92, 652, 7, 9, 0x101, 1, 64, kSampleCodePage, 0,
         u"", 0},
        {"dwSize 96 covers pageFlags", none, 96, 652, 7, 9, 0x101, 1, 64, kSampleCodePage,
         kPageFlagUnlocked, u"", 0},
        {"dwSize 11 has no signature: foreign", none, 11, 652, 0, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"dwSize 4 has no signature: foreign", none, 4, 652, 0, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"dwSize 0 has no signature: foreign", none, 0, 652, 0, 0, 0x101, 0, 0, acp, 0, u"", 0},
        {"the output's smaller dwSize bounds the copy", none, 652, 20, 7, 9, 0x101, 0, 0, acp, 0,
         u"", 0},
        {"the output's zero dwSize copies nothing", none, 652, 0, 0, 0, 0x101, 0, 0, acp, 0, u"",
         0},
    };
}

TEST(PrivateDevmodeConvert, Cases) {
    for (const ConvertCase& c : ConvertCases()) {
        SCOPED_TRACE(c.name);
        PrivateDevmode content = Sample();
        c.prepareInput(content);
        std::vector<uint8_t> in = InputBlock(content, c.declared);
        PrivateDevmode out = StaleOutput();
        out.dwSize = c.outputDeclared;

        ASSERT_TRUE(ConvertPrivateDevmode(in.data(), &out));
        EXPECT_EQ(out.dwSize, 652u);
        EXPECT_EQ(out.dwSignature, 0x564B5053u);
        EXPECT_EQ(out.dwVersion, c.version);
        EXPECT_EQ(out.rangeValue1, c.rangeValue1);
        EXPECT_EQ(out.rangeValue2, c.rangeValue2);
        EXPECT_EQ(out.secureEnabled, c.secureEnabled);
        EXPECT_EQ(std::strlen(out.pinDigest), c.digestLength);
        EXPECT_EQ(out.codePage, c.codePage);
        EXPECT_EQ(out.pageFlags, c.pageFlags);
        EXPECT_EQ(Wide(out.userName), c.userName);
        EXPECT_EQ(out.customNames, c.customNames);
    }
}

TEST(PrivateDevmodeConvert, ShortBlockContributesExactlyWhatItCovers) {
    PrivateDevmode content = Sample();
    std::vector<uint8_t> in = InputBlock(content, 20);
    PrivateDevmode out = StaleOutput();
    Image expected = ImageOf(out);

    ASSERT_TRUE(ConvertPrivateDevmode(in.data(), &out));
    PutResetFields(expected);
    PutHeader(expected);
    Put32(expected, 12, 7);
    Put32(expected, 16, 9);
    EXPECT_EQ(Differences(ImageOf(out), expected), std::vector<size_t>{});
}

TEST(PrivateDevmodeConvert, LongBlockIsCutAt652Bytes) {
    PrivateDevmode content = Sample();
    std::vector<uint8_t> in = InputBlock(content, 1000);  // bytes 652..999 hold 0x5A
    // An output buffer larger than the record: nothing behind byte 652 may change.
    std::array<uint32_t, 1000 / 4> outBuffer;
    std::memset(outBuffer.data(), 0xEE, sizeof(outBuffer));
    auto* out = reinterpret_cast<PrivateDevmode*>(outBuffer.data());
    DefaultPrivateDevmode(out);
    out->dwSize = 1000;  // both sizes above 652: the record's own size still bounds the copy

    ASSERT_TRUE(ConvertPrivateDevmode(in.data(), out));
    Image expected = ImageOf(content);
    PutHeader(expected);
    EXPECT_EQ(Differences(ImageOf(*out), expected), std::vector<size_t>{});
    const auto* tail = reinterpret_cast<const uint8_t*>(outBuffer.data()) + 652;
    for (size_t i = 0; i < 1000 - 652; ++i) {
        ASSERT_EQ(tail[i], 0xEE) << "byte " << 652 + i;
    }
}

TEST(PrivateDevmodeConvert, ForeignBlockGivesTheDefaultBlock) {
    PrivateDevmode content = Sample();
    content.dwSignature = kForeignSignature;
    std::vector<uint8_t> in = InputBlock(content, 652);
    PrivateDevmode out = StaleOutput();
    PrivateDevmode defaulted = StaleOutput();
    DefaultPrivateDevmode(&defaulted);

    ASSERT_TRUE(ConvertPrivateDevmode(in.data(), &out));
    EXPECT_EQ(Differences(ImageOf(out), ImageOf(defaulted)), std::vector<size_t>{});
}

TEST(PrivateDevmodeConvert, UnalignedInputIsRead) {
    PrivateDevmode content = Sample();
    std::vector<uint8_t> storage(652 + 1);
    std::memcpy(storage.data() + 1, &content, 652);
    PrivateDevmode out = StaleOutput();

    ASSERT_TRUE(ConvertPrivateDevmode(storage.data() + 1, &out));
    EXPECT_EQ(Differences(ImageOf(out), ImageOf(content)), std::vector<size_t>{});
}

TEST(PrivateDevmodeConvert, SameBlockAsInputAndOutputKeepsItsContent) {
    PrivateDevmode dm = Sample();
    ASSERT_TRUE(ConvertPrivateDevmode(&dm, &dm));
    EXPECT_EQ(Differences(ImageOf(dm), ImageOf(Sample())), std::vector<size_t>{});
}

TEST(PrivateDevmodeConvert, MissingBlockChangesNothing) {
    PrivateDevmode in = Sample();
    PrivateDevmode out = StaleOutput();
    EXPECT_FALSE(ConvertPrivateDevmode(nullptr, &out));
    EXPECT_EQ(Differences(ImageOf(out), ImageOf(StaleOutput())), std::vector<size_t>{});
    EXPECT_FALSE(ConvertPrivateDevmode(&in, nullptr));
}

// Every name filled with its own letter to its last character (`over` 0) or through its last
// element (`over` 1), and the full names as validation leaves them.
void FillNames(PrivateDevmode& dm, size_t over) {
    SetWide(dm.userName, 80 + over, u'U');
    SetWide(dm.jobName, 80 + over, u'J');
    SetWide(dm.loginName, 80 + over, u'L');
    SetWide(dm.computerName, 32 + over, u'C');
}

void ExpectFullNames(const PrivateDevmode& dm) {
    EXPECT_EQ(Wide(dm.userName), std::u16string(80, u'U'));
    EXPECT_EQ(Wide(dm.jobName), std::u16string(80, u'J'));
    EXPECT_EQ(Wide(dm.loginName), std::u16string(80, u'L'));
    EXPECT_EQ(Wide(dm.computerName), std::u16string(32, u'C'));
}

struct ValidateCase {
    const char* name;
    std::function<void(PrivateDevmode&)> prepare;
    std::function<void(const PrivateDevmode&)> check;
};

std::vector<ValidateCase> ValidateCases() {
    return {
        {"range 100 is kept", [](PrivateDevmode& dm) { dm.rangeValue1 = 100; },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.rangeValue1, 100u); }},
        {"range 101 is cleared", [](PrivateDevmode& dm) { dm.rangeValue1 = 101; },
         [](const PrivateDevmode& dm) {
             EXPECT_EQ(dm.rangeValue1, 0u);
             EXPECT_EQ(dm.rangeValue2, 9u);
         }},
        {"range with the top bit set is cleared",
         [](PrivateDevmode& dm) { dm.rangeValue1 = 0xFFFFFFFF; },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.rangeValue1, 0u); }},
        {"second range 101 is cleared", [](PrivateDevmode& dm) { dm.rangeValue2 = 101; },
         [](const PrivateDevmode& dm) {
             EXPECT_EQ(dm.rangeValue1, 7u);
             EXPECT_EQ(dm.rangeValue2, 0u);
         }},
        {"secureEnabled 2 becomes 0", [](PrivateDevmode& dm) { dm.secureEnabled = 2; },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.secureEnabled, 0); }},
        {"customNames 2 becomes 0, secureEnabled stays",
         [](PrivateDevmode& dm) { dm.customNames = 2; },
         [](const PrivateDevmode& dm) {
             EXPECT_EQ(dm.customNames, 0);
             EXPECT_EQ(dm.secureEnabled, 1);
         }},
        {"63-character digest is dropped", [](PrivateDevmode& dm) { SetDigest(dm, 63, 'a'); },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.pinDigest[0], '\0'); }},
        {"65-character digest is dropped", [](PrivateDevmode& dm) { SetDigest(dm, 65, 'a'); },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.pinDigest[0], '\0'); }},
        {"digest with a hole is dropped",
         [](PrivateDevmode& dm) {
             SetDigest(dm, 64, 'a');
             dm.pinDigest[30] = '\0';
         },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.pinDigest[0], '\0'); }},
        {"64 non-hex characters survive", [](PrivateDevmode& dm) { SetDigest(dm, 64, 'Z'); },
         [](const PrivateDevmode& dm) {
             EXPECT_EQ(std::string(dm.pinDigest), std::string(64, 'Z'));
         }},
        {"full-length names survive", [](PrivateDevmode& dm) { FillNames(dm, 0); },
         ExpectFullNames},
        {"unterminated names are cut at their last element",
         [](PrivateDevmode& dm) { FillNames(dm, 1); }, ExpectFullNames},
        {"pageFlags are not inspected", [](PrivateDevmode& dm) { dm.pageFlags = 0xFFFFFFFF; },
         [](const PrivateDevmode& dm) { EXPECT_EQ(dm.pageFlags, 0xFFFFFFFFu); }},
        {"header and code page are rewritten",
         [](PrivateDevmode& dm) {
             dm.dwSize = 20;
             dm.dwSignature = kForeignSignature;
             dm.dwVersion = 0x100;
         },
         [](const PrivateDevmode&) {}},
    };
}

TEST(PrivateDevmodeValidate, Cases) {
    for (const ValidateCase& c : ValidateCases()) {
        SCOPED_TRACE(c.name);
        PrivateDevmode dm = Sample();
        c.prepare(dm);
        ASSERT_TRUE(ValidatePrivateDevmode(&dm));
        ExpectInvariants(dm);
        c.check(dm);
    }
}

TEST(PrivateDevmodeValidate, ValidBlockIsLeftAsItIs) {
    PrivateDevmode dm = Sample();
    dm.codePage = AnsiCodePage();
    const Image before = ImageOf(dm);
    ASSERT_TRUE(ValidatePrivateDevmode(&dm));
    EXPECT_EQ(Differences(ImageOf(dm), before), std::vector<size_t>{});
}

TEST(PrivateDevmodeValidate, WritesNothingButTheFieldsItForces) {
    PrivateDevmode dm = Filled(0xFF);
    ASSERT_TRUE(ValidatePrivateDevmode(&dm));

    Image expected;
    expected.fill(0xFF);
    PutHeader(expected);
    Put32(expected, 12, 0);
    Put32(expected, 16, 0);
    Put8(expected, 20, 0);
    Put8(expected, 22, 0);  // the 0xFF digest has no terminator: dropped
    Put8(expected, 86, 0);
    Put32(expected, 88, AnsiCodePage());
    Put16(expected, 256, 0);
    Put16(expected, 418, 0);
    Put16(expected, 580, 0);
    Put16(expected, 646, 0);
    Put8(expected, 648, 0);
    EXPECT_EQ(Differences(ImageOf(dm), expected), std::vector<size_t>{});
    EXPECT_FALSE(ValidatePrivateDevmode(nullptr));
}

constexpr int16_t kCopies = 5;

struct MergeCase {
    const char* name;
    std::function<void(PrivateDevmode&)> prepareInput;
    uint32_t declared;
    size_t length;
    uint8_t secureEnabled;  // expected in the output
    int16_t copies;         // expected in the public devmode
    uint32_t rangeValue1, pageFlags;
};

std::vector<MergeCase> MergeCases() {
    auto none = [](PrivateDevmode&) {};
    auto foreign = [](PrivateDevmode& in) { in.dwSignature = kForeignSignature; };
    return {
        {"secure block of ours", none, 652, 652, 1, 1, 7, kPageFlagUnlocked},
        {"secure foreign block still forces one copy", foreign, 652, 652, 0, 1, 0, 0},
        {"secureEnabled 2 is not secure", [](PrivateDevmode& in) { in.secureEnabled = 2; }, 652,
         652, 0, kCopies, 7, kPageFlagUnlocked},
        {"secureEnabled 0", [](PrivateDevmode& in) { in.secureEnabled = 0; }, 652, 652, 0, kCopies,
         7, kPageFlagUnlocked},
        {"secure byte behind dwSize 20 is not looked at", none, 20, 21, 0, kCopies, 7, 0},
        {"dwSize 21 covers the secure byte", none, 21, 21, 1, 1, 7, 0},
        {"out-of-range value is cleared", [](PrivateDevmode& in) { in.rangeValue1 = 250; }, 652,
         652, 1, 1, 0, kPageFlagUnlocked},
        {"dwSize 92 does not carry pageFlags", none, 92, 92, 1, 1, 7, 0},
        {"dwSize 96 carries pageFlags", none, 96, 96, 1, 1, 7, kPageFlagUnlocked},
        {"dwSize 0", none, 0, 4, 0, kCopies, 0, 0},
    };
}

TEST(PrivateDevmodeMerge, Cases) {
    for (const MergeCase& c : MergeCases()) {
        SCOPED_TRACE(c.name);
        PrivateDevmode content = Sample();
        c.prepareInput(content);
        std::vector<uint8_t> in = InputBlock(content, c.declared, c.length);
        PrivateDevmode out = StaleOutput();
        int16_t copies = kCopies;

        ASSERT_TRUE(MergePrivateDevmode(in.data(), &out, &copies));
        ExpectInvariants(out);
        EXPECT_EQ(copies, c.copies);
        EXPECT_EQ(out.secureEnabled, c.secureEnabled);
        EXPECT_EQ(out.rangeValue1, c.rangeValue1);
        EXPECT_EQ(out.pageFlags, c.pageFlags);
        EXPECT_EQ(PrivateDevmodeRequestsSecure(in.data()), c.copies == 1);
    }
}

TEST(PrivateDevmodeMerge, SecureJobWithoutCopiesCountIsRefused) {
    PrivateDevmode in = Sample();
    PrivateDevmode out = StaleOutput();
    EXPECT_FALSE(MergePrivateDevmode(&in, &out, nullptr));
    EXPECT_EQ(Differences(ImageOf(out), ImageOf(StaleOutput())), std::vector<size_t>{});
}

TEST(PrivateDevmodeMerge, PlainJobWithoutCopiesCountIsMerged) {
    PrivateDevmode in = Sample();
    in.secureEnabled = 0;
    PrivateDevmode out = StaleOutput();
    ASSERT_TRUE(MergePrivateDevmode(&in, &out, nullptr));
    ExpectInvariants(out);
    EXPECT_EQ(Wide(out.userName), kUser);
}

TEST(PrivateDevmodeMerge, MissingInputOnlyValidatesTheOutput) {
    PrivateDevmode out = StaleOutput();
    out.rangeValue1 = 250;
    int16_t copies = kCopies;
    ASSERT_TRUE(MergePrivateDevmode(nullptr, &out, &copies));
    ExpectInvariants(out);
    EXPECT_EQ(copies, kCopies);
    EXPECT_EQ(out.rangeValue1, 0u);
    EXPECT_EQ(out.secureEnabled, 1);
    EXPECT_EQ(Wide(out.userName), u"sssss");
}

TEST(PrivateDevmodeMerge, MissingOutputChangesNothing) {
    PrivateDevmode in = Sample();
    int16_t copies = kCopies;
    EXPECT_FALSE(MergePrivateDevmode(&in, nullptr, &copies));
    EXPECT_EQ(copies, kCopies);
    EXPECT_FALSE(PrivateDevmodeRequestsSecure(nullptr));
}

}  // namespace
}  // namespace pinprint
