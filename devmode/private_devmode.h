// The plug-in's private devmode: the job-settings record the driver appends to its public
// DEVMODEW and carries with every job. Its byte layout is a persistent format: stored devmodes
// from earlier jobs and other machines come back through ConvertPrivateDevmode.
//
// Platform-neutral on purpose (fixed-width integers, char16_t, no <windows.h>) so that the
// operations can be fuzzed natively. The one platform value, the ANSI code page, comes through
// AnsiCodePage(), which each build provides.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pinprint {

inline constexpr uint32_t kPrivateDevmodeSize = 652;
inline constexpr uint32_t kPrivateDevmodeSignature = 0x564B5053;  // bytes "SPKV"
inline constexpr uint32_t kPrivateDevmodeVersion = 0x101;

inline constexpr size_t kPinDigestChars = 64;  // SHA-256 as lower-case hex
inline constexpr size_t kNameChars = 80;       // userName, jobName, loginName
inline constexpr size_t kComputerNameChars = 32;

inline constexpr uint32_t kPageFlagUnlocked = 0x8;  // pageFlags: secure controls unlocked

struct PrivateDevmode {
    // OEM_DMEXTRAHEADER
    uint32_t dwSize;
    uint32_t dwSignature;
    uint32_t dwVersion;

    uint32_t rangeValue1;  // kept in 0..100
    uint32_t rangeValue2;  // kept in 0..100
    uint8_t secureEnabled;
    uint8_t reserved;
    char pinDigest[kPinDigestChars + 1];
    uint8_t alignment1;
    uint32_t codePage;
    uint32_t pageFlags;
    char16_t userName[kNameChars + 1];
    char16_t jobName[kNameChars + 1];
    char16_t loginName[kNameChars + 1];
    char16_t computerName[kComputerNameChars + 1];
    uint8_t customNames;
    uint8_t alignment2[3];
};

static_assert(offsetof(PrivateDevmode, dwSize) == 0);
static_assert(offsetof(PrivateDevmode, dwSignature) == 4);
static_assert(offsetof(PrivateDevmode, dwVersion) == 8);
static_assert(offsetof(PrivateDevmode, rangeValue1) == 12);
static_assert(offsetof(PrivateDevmode, rangeValue2) == 16);
static_assert(offsetof(PrivateDevmode, secureEnabled) == 20);
static_assert(offsetof(PrivateDevmode, reserved) == 21);
static_assert(offsetof(PrivateDevmode, pinDigest) == 22);
static_assert(offsetof(PrivateDevmode, alignment1) == 87);
static_assert(offsetof(PrivateDevmode, codePage) == 88);
static_assert(offsetof(PrivateDevmode, pageFlags) == 92);
static_assert(offsetof(PrivateDevmode, userName) == 96);
static_assert(offsetof(PrivateDevmode, jobName) == 258);
static_assert(offsetof(PrivateDevmode, loginName) == 420);
static_assert(offsetof(PrivateDevmode, computerName) == 582);
static_assert(offsetof(PrivateDevmode, customNames) == 648);
static_assert(offsetof(PrivateDevmode, alignment2) == 649);
static_assert(sizeof(PrivateDevmode) == kPrivateDevmodeSize);
static_assert(sizeof(char16_t) == 2);

// True when `pinDigest` holds a digest: exactly 64 characters and its terminator. Anything else
// is no digest, and validation drops it.
inline bool HasPinDigest(const PrivateDevmode& dm) {
    for (size_t i = 0; i < kPinDigestChars; ++i) {
        if (dm.pinDigest[i] == '\0') {
            return false;
        }
    }
    return dm.pinDigest[kPinDigestChars] == '\0';
}

// Copies `text` into a string field that holds `maxChars` characters and a terminator: at most
// `maxChars` characters, always terminated, and nothing of `text` read past its own terminator.
// `Char` is the platform's 16-bit character type (wchar_t on Windows).
template <typename Char>
void CopyToField(char16_t* field, size_t maxChars, const Char* text) {
    static_assert(sizeof(Char) == sizeof(char16_t));
    size_t i = 0;
    for (; i < maxChars && text[i] != Char(0); ++i) {
        field[i] = static_cast<char16_t>(text[i]);
    }
    field[i] = u'\0';
}

// The system's ANSI code page. Not defined in devmode/: the Windows build answers GetACP(),
// native builds (fuzzing) provide a fixed value of their own.
uint32_t AnsiCodePage();

// Fills a fresh block with the header, zero range values and reset settings.
// Returns false (and writes nothing) for a null block.
bool DefaultPrivateDevmode(PrivateDevmode* out);

// Sets the settings fields to their reset values; header, range values, reserved bytes and
// everything behind each string's first element stay as they are. False for a null block.
bool ResetPrivateDevmode(PrivateDevmode* dm);

// Takes a block of any origin into `out`. `in` is as long as its own dwSize says; nothing is
// read beyond that (a dwSize below 12 leaves no signature to compare, so such a block counts
// as foreign). `in` and `out` may overlap. False when either pointer is null (nothing changes).
bool ConvertPrivateDevmode(const void* in, PrivateDevmode* out);

// Forces a block into the record's invariants. False for a null block.
bool ValidatePrivateDevmode(PrivateDevmode* dm);

// True when `in` asks for a secure (PIN) job: its secureEnabled byte lies within its declared
// size and equals exactly 1. A merge of such a block must force the public copies count to 1.
bool PrivateDevmodeRequestsSecure(const void* in);

// Merges `in` into `out` and validates the result. When `in` requests a secure job, *copies
// (the public devmode's dmCopies) becomes 1. Returns false, changing nothing, when `out` is
// null or when a secure job's copies count cannot be forced because `copies` is null. A null
// `in` merges nothing: `out` is only validated.
bool MergePrivateDevmode(const void* in, PrivateDevmode* out, int16_t* copies);

}  // namespace pinprint
