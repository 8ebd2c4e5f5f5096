#include "devmode/private_devmode.h"

#include <cstring>

namespace pinprint {

namespace {

constexpr size_t kSecureEnabledOffset = offsetof(PrivateDevmode, secureEnabled);
constexpr size_t kHeaderSize = 3 * sizeof(uint32_t);

// The input block comes from the driver's devmode, which may be unaligned and of any origin:
// read it bytewise. Its dwSize field is the one thing that is always there.
uint32_t DeclaredSize(const void* in) {
    uint32_t size;
    std::memcpy(&size, in, sizeof(size));
    return size;
}

void WriteHeader(PrivateDevmode* dm) {
    dm->dwSize = kPrivateDevmodeSize;
    dm->dwSignature = kPrivateDevmodeSignature;
    dm->dwVersion = kPrivateDevmodeVersion;
}

}  // namespace

bool DefaultPrivateDevmode(PrivateDevmode* out) {
    if (out == nullptr) {
        return false;
    }
    WriteHeader(out);
    out->rangeValue1 = 0;
    out->rangeValue2 = 0;
    return ResetPrivateDevmode(out);
}

bool ResetPrivateDevmode(PrivateDevmode* dm) {
    if (dm == nullptr) {
        return false;
    }
    // Only the first element of each string: readers stop at the terminator, and the rest of
    // the block keeps whatever the driver's buffer held.
    dm->secureEnabled = 0;
    dm->pinDigest[0] = '\0';
    dm->codePage = AnsiCodePage();
    dm->userName[0] = u'\0';
    dm->jobName[0] = u'\0';
    dm->loginName[0] = u'\0';
    dm->computerName[0] = u'\0';
    dm->customNames = 0;
    dm->pageFlags = 0;
    return true;
}

bool ConvertPrivateDevmode(const void* in, PrivateDevmode* out) {
    if (in == nullptr || out == nullptr) {
        return false;
    }

    // Take what the input covers before anything is written: the driver may hand the same
    // block, or overlapping ones, as input and output.
    const uint32_t inSize = DeclaredSize(in);
    unsigned char snapshot[kPrivateDevmodeSize];
    const size_t covered = inSize < kPrivateDevmodeSize ? inSize : kPrivateDevmodeSize;
    std::memcpy(snapshot, in, covered);

    out->rangeValue1 = 0;
    out->rangeValue2 = 0;

    // A block too short to hold its own header has no signature to compare: treat it as
    // foreign rather than read past its declared end.
    uint32_t inSignature = 0;
    const bool hasHeader = inSize >= kHeaderSize;
    if (hasHeader) {
        std::memcpy(&inSignature, snapshot + offsetof(PrivateDevmode, dwSignature),
                    sizeof(inSignature));
    }

    if (hasHeader && inSignature == out->dwSignature) {
        // A smaller block of ours (an older layout) contributes what it covers; the fields
        // behind its end keep their reset values. A larger one is cut at our size.
        ResetPrivateDevmode(out);
        size_t n = out->dwSize < inSize ? out->dwSize : inSize;
        if (n > kPrivateDevmodeSize) {
            n = kPrivateDevmodeSize;
        }
        std::memcpy(out, snapshot, n);
        out->dwSize = kPrivateDevmodeSize;
        out->dwVersion = kPrivateDevmodeVersion;
    } else {
        WriteHeader(out);
        ResetPrivateDevmode(out);
    }
    return true;
}

bool ValidatePrivateDevmode(PrivateDevmode* dm) {
    if (dm == nullptr) {
        return false;
    }
    WriteHeader(dm);
    if (dm->rangeValue1 > 100) {
        dm->rangeValue1 = 0;
    }
    if (dm->rangeValue2 > 100) {
        dm->rangeValue2 = 0;
    }
    if (dm->secureEnabled > 1) {
        dm->secureEnabled = 0;
    }
    // A digest is either the full 64 characters or nothing. Its characters are not checked:
    // the page computed it and nothing here interprets it.
    if (!HasPinDigest(*dm)) {
        dm->pinDigest[0] = '\0';
    }
    dm->pinDigest[kPinDigestChars] = '\0';
    dm->codePage = AnsiCodePage();
    dm->userName[kNameChars] = u'\0';
    dm->jobName[kNameChars] = u'\0';
    dm->loginName[kNameChars] = u'\0';
    dm->computerName[kComputerNameChars] = u'\0';
    if (dm->customNames > 1) {
        dm->customNames = 0;
    }
    return true;
}

bool PrivateDevmodeRequestsSecure(const void* in) {
    if (in == nullptr || DeclaredSize(in) <= kSecureEnabledOffset) {
        return false;
    }
    unsigned char secureEnabled;
    std::memcpy(&secureEnabled, static_cast<const unsigned char*>(in) + kSecureEnabledOffset, 1);
    return secureEnabled == 1;
}

bool MergePrivateDevmode(const void* in, PrivateDevmode* out, int16_t* copies) {
    if (out == nullptr) {
        return false;
    }
    // Decided on the input as the driver handed it, whatever its signature: a secure job
    // must never print several copies, so refuse rather than merge without the copies count.
    const bool secure = PrivateDevmodeRequestsSecure(in);
    if (secure && copies == nullptr) {
        return false;
    }
    if (secure) {
        *copies = 1;
    }
    ConvertPrivateDevmode(in, out);
    ValidatePrivateDevmode(out);
    return true;
}

}  // namespace pinprint
