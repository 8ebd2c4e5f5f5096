// Feeds arbitrary private devmode blocks, with arbitrary declared sizes, through convert,
// validate and merge. The input block is allocated exactly as long as it declares (so that
// AddressSanitizer catches a read past it) and the output exactly 652 bytes, pre-filled with
// stale content. Every result is checked against the record's invariants.
//
// Input layout:
//   byte 0       control bits:
//                  0x01  input signature forced to "SPKV" (when the block holds it)
//                  0x02  output signature forced to "SPKV"
//                  0x04  declared size taken modulo 700, so that short blocks come often
//                  0x18  input misaligned by 0..3 bytes
//                  0x20  output dwSize forced to 652
//   bytes 1..4   the input's declared size (its dwSize field), little-endian
//   bytes 5..6   the public devmode's copies count
//   then         the input block behind its dwSize field, then the output's 652 stale bytes;
//                missing bytes are 0.
#include "devmode/private_devmode.h"
#include "fuzz/require.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

using namespace pinprint;

namespace {

constexpr uint32_t kMaxAllocation = 4096;  // larger declared sizes keep this many bytes
constexpr uint32_t kFuzzCodePage = 1252;   // what native_code_page.cpp answers

class Stream {
  public:
    Stream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void Read(void* destination, size_t length) {
        const size_t available = length < size_ ? length : size_;
        std::memcpy(destination, data_, available);
        std::memset(static_cast<uint8_t*>(destination) + available, 0, length - available);
        data_ += available;
        size_ -= available;
    }

    template <typename T>
    T Read() {
        T value;
        Read(&value, sizeof(value));
        return value;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

template <size_t N>
bool LastElementIsNul(const char16_t (&field)[N]) {
    return field[N - 1] == u'\0';
}

void CheckInvariants(const PrivateDevmode& dm) {
    REQUIRE(dm.dwSize == kPrivateDevmodeSize);
    REQUIRE(dm.dwSignature == kPrivateDevmodeSignature);
    REQUIRE(dm.dwVersion == kPrivateDevmodeVersion);
    REQUIRE(dm.rangeValue1 <= 100);
    REQUIRE(dm.rangeValue2 <= 100);
    REQUIRE(dm.secureEnabled <= 1);
    REQUIRE(dm.customNames <= 1);
    REQUIRE(dm.codePage == kFuzzCodePage);
    const size_t digest = strnlen(dm.pinDigest, sizeof(dm.pinDigest));
    REQUIRE(digest == 0 || digest == kPinDigestChars);
    REQUIRE(dm.pinDigest[kPinDigestChars] == '\0');
    REQUIRE(LastElementIsNul(dm.userName));
    REQUIRE(LastElementIsNul(dm.jobName));
    REQUIRE(LastElementIsNul(dm.loginName));
    REQUIRE(LastElementIsNul(dm.computerName));
}

bool SameBytes(const PrivateDevmode& a, const PrivateDevmode& b) {
    return std::memcmp(&a, &b, sizeof(PrivateDevmode)) == 0;
}

// What a conversion must produce, worked out bytewise from the stale output and the bytes
// the input declares.
PrivateDevmode ExpectedConversion(const uint8_t* in, uint32_t declared,
                                  const PrivateDevmode& stale) {
    PrivateDevmode expected = stale;
    expected.rangeValue1 = 0;
    expected.rangeValue2 = 0;
    uint32_t signature = 0;
    if (declared >= 12) {
        std::memcpy(&signature, in + 4, 4);
    }
    if (declared >= 12 && signature == stale.dwSignature) {
        ResetPrivateDevmode(&expected);
        uint32_t n = declared < stale.dwSize ? declared : stale.dwSize;
        n = n < kPrivateDevmodeSize ? n : kPrivateDevmodeSize;
        std::memcpy(&expected, in, n);
        expected.dwSize = kPrivateDevmodeSize;
        expected.dwVersion = kPrivateDevmodeVersion;
    } else {
        DefaultPrivateDevmode(&expected);
    }
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Stream stream(data, size);
    const uint8_t control = stream.Read<uint8_t>();
    uint32_t declared = stream.Read<uint32_t>();
    if (control & 0x04) {
        declared %= 700;
    }
    const int16_t initialCopies = stream.Read<int16_t>();

    // The input block: exactly max(declared, 4) bytes (capped), at an odd address if asked.
    size_t allocation = declared < 4 ? 4 : declared;
    allocation = allocation < kMaxAllocation ? allocation : kMaxAllocation;
    const size_t misalignment = (control >> 3) & 3;
    std::unique_ptr<uint8_t[]> inStorage(new uint8_t[allocation + misalignment]);
    uint8_t* in = inStorage.get() + misalignment;
    std::memcpy(in, &declared, 4);
    stream.Read(in + 4, allocation - 4);
    if ((control & 0x01) && allocation >= 8) {
        std::memcpy(in + 4, &kPrivateDevmodeSignature, 4);
    }

    PrivateDevmode stale;
    stream.Read(&stale, sizeof(stale));
    if (control & 0x02) {
        stale.dwSignature = kPrivateDevmodeSignature;
    }
    if (control & 0x20) {
        stale.dwSize = kPrivateDevmodeSize;
    }

    const bool secure = PrivateDevmodeRequestsSecure(in);
    REQUIRE(secure == (declared > 20 && in[20] == 1));

    // Merge with a copies count.
    auto merged = std::make_unique<PrivateDevmode>(stale);
    int16_t copies = initialCopies;
    REQUIRE(MergePrivateDevmode(in, merged.get(), &copies));
    CheckInvariants(*merged);
    REQUIRE(copies == (secure ? 1 : initialCopies));

    // Merge without one: refused for a secure job, otherwise the same result.
    auto mergedWithoutCopies = std::make_unique<PrivateDevmode>(stale);
    const bool accepted = MergePrivateDevmode(in, mergedWithoutCopies.get(), nullptr);
    REQUIRE(accepted == !secure);
    REQUIRE(SameBytes(*mergedWithoutCopies, accepted ? *merged : stale));

    // Convert, then validate: the merge is exactly these two steps.
    auto converted = std::make_unique<PrivateDevmode>(stale);
    REQUIRE(ConvertPrivateDevmode(in, converted.get()));
    REQUIRE(SameBytes(*converted, ExpectedConversion(in, declared, stale)));
    REQUIRE(ValidatePrivateDevmode(converted.get()));
    CheckInvariants(*converted);
    REQUIRE(SameBytes(*converted, *merged));
    const PrivateDevmode once = *converted;
    REQUIRE(ValidatePrivateDevmode(converted.get()));
    REQUIRE(SameBytes(*converted, once));

    // Validation alone, and a merge with nothing to merge, on the stale block.
    auto validated = std::make_unique<PrivateDevmode>(stale);
    REQUIRE(ValidatePrivateDevmode(validated.get()));
    CheckInvariants(*validated);
    REQUIRE(validated->pageFlags == stale.pageFlags);
    auto mergedNothing = std::make_unique<PrivateDevmode>(stale);
    copies = initialCopies;
    REQUIRE(MergePrivateDevmode(nullptr, mergedNothing.get(), &copies));
    REQUIRE(copies == initialCopies);
    REQUIRE(SameBytes(*mergedNothing, *validated));

    // A block converted onto itself: input and output are the same memory.
    auto self = std::make_unique<PrivateDevmode>(stale);
    REQUIRE(ConvertPrivateDevmode(self.get(), self.get()));
    REQUIRE(SameBytes(
        *self, ExpectedConversion(reinterpret_cast<const uint8_t*>(&stale), stale.dwSize, stale)));

    // A default block needs validation only for the stale last elements of its strings.
    auto defaulted = std::make_unique<PrivateDevmode>(stale);
    REQUIRE(DefaultPrivateDevmode(defaulted.get()));
    PrivateDevmode fresh = *defaulted;
    REQUIRE(ValidatePrivateDevmode(defaulted.get()));
    CheckInvariants(*defaulted);
    fresh.pinDigest[kPinDigestChars] = '\0';
    fresh.userName[kNameChars] = u'\0';
    fresh.jobName[kNameChars] = u'\0';
    fresh.loginName[kNameChars] = u'\0';
    fresh.computerName[kComputerNameChars] = u'\0';
    REQUIRE(SameBytes(*defaulted, fresh));
    return 0;
}
