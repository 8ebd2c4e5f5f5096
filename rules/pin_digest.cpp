#include "rules/pin_digest.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstring>

// After the standard headers: strsafe.h deprecates the C string functions by name, which
// MSVC's <cstdio> and <cstring> then fail to declare.
#include <strsafe.h>

#include "platform/unique_handle.h"

namespace pinprint {

namespace {

constexpr wchar_t kAesProvider[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kSha256Bytes = 32;

}  // namespace

bool IsFourDigits(const wchar_t* pin) {
    if (pin == nullptr || lstrlenW(pin) != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (pin[i] < L'0' || pin[i] > L'9') {
            return false;
        }
    }
    return true;
}

bool ComputePinDigest(const wchar_t* pin, char* pinDigest, DWORD* error) {
    const auto fail = [error](DWORD code) {
        if (error != nullptr) {
            *error = code != 0 ? code : static_cast<DWORD>(E_FAIL);
        }
        return false;
    };
    // A digest is only ever made of a well-formed PIN.
    if (!IsFourDigits(pin) || pinDigest == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }

    // Hashing needs no key: a verification-only context opens no key container and creates
    // none, so setting a PIN leaves nothing in the user's profile and works in profiles that
    // may not store one.
    UniqueCryptProv provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, kAesProvider, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT)) {
        return fail(GetLastError());
    }
    UniqueCryptHash hash;  // declared after the provider: destroyed before it is released
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) {
        return fail(GetLastError());
    }

    // The PIN as its number, formatted back to four ASCII digits: the bytes that are hashed.
    int number = 0;
    for (int i = 0; i < 4; ++i) {
        number = number * 10 + (pin[i] - L'0');
    }
    char digits[5] = {};
    std::snprintf(digits, sizeof(digits), "%04d", number);
    const BOOL hashed = CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(digits),
                                      static_cast<DWORD>(strlen(digits)), 0);
    const DWORD hashError = GetLastError();
    SecureZeroMemory(digits, sizeof(digits));
    SecureZeroMemory(&number, sizeof(number));
    if (!hashed) {
        return fail(hashError);
    }

    DWORD size = 0;
    DWORD sizeBytes = sizeof(size);
    if (!CryptGetHashParam(hash.get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeBytes,
                           0)) {
        return fail(GetLastError());
    }
    // Anything but 32 bytes would not fill the 64-character field exactly.
    if (size != kSha256Bytes) {
        return fail(static_cast<DWORD>(NTE_BAD_HASH));
    }
    BYTE value[kSha256Bytes] = {};
    DWORD valueBytes = size;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value, &valueBytes, 0) || valueBytes != size) {
        const DWORD valueError = GetLastError();
        SecureZeroMemory(value, size);
        return fail(valueError);
    }

    char text[kPinDigestBytes] = {};
    for (DWORD i = 0; i < size; ++i) {
        char scratch[3];
        std::snprintf(scratch, sizeof(scratch), "%2.2x", value[i]);
        StringCchCatA(text, kPinDigestBytes, scratch);
    }
    SecureZeroMemory(value, size);
    memcpy(pinDigest, text, kPinDigestBytes);
    return true;
}
}  // namespace pinprint
