// The PIN's form and its SHA-256 digest. The secure-print page stores the digest of a typed PIN,
// the PrintTicket provider that of a ticket's passcode: one function for both, so that the same
// four digits always give the same 64 characters in the private devmode.
#pragma once

#include <windows.h>

#include <cstddef>

namespace pinprint {

// The digest's field: 64 lower-case hexadecimal characters and a NUL.
inline constexpr size_t kPinDigestBytes = 65;

// TRUE for exactly four characters '0'..'9' (ASCII digits only).
bool IsFourDigits(const wchar_t* pin);

// SHA-256 of the PIN's four ASCII digits as 64 lower-case hexadecimal characters, written to
// `pinDigest` (kPinDigestBytes) only when every step succeeded. On failure `pinDigest` is left
// untouched, *error (when given) receives the failing step's error code, and false comes back;
// a malformed or null PIN, or a null `pinDigest`, fails with ERROR_INVALID_PARAMETER. Nothing of
// the PIN is left behind on the stack.
bool ComputePinDigest(const wchar_t* pin, char* pinDigest, DWORD* error = nullptr);

// Wipes a PIN's text when its holder's scope ends, whichever way it ends: a typed PIN is never
// kept.
class PinTextWiper {
  public:
    PinTextWiper(void* buffer, size_t bytes) : buffer_(buffer), bytes_(bytes) {}
    ~PinTextWiper() { SecureZeroMemory(buffer_, bytes_); }
    PinTextWiper(const PinTextWiper&) = delete;
    PinTextWiper& operator=(const PinTextWiper&) = delete;

  private:
    void* buffer_;
    size_t bytes_;
};

}  // namespace pinprint
