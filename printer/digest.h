// The PIN's digest at the printer: SHA-256 through the CUPS library, and a comparison whose
// time does not depend on where two digests differ.
#pragma once

#include <string>

#include "printer/pjl.h"

namespace pinprint::printer {

// SHA-256 of `size` bytes; false only when the CUPS library cannot hash.
bool Sha256(const void* data, size_t size, Digest* digest);

bool DigestsEqual(const Digest& a, const Digest& b);

std::string DigestToHex(const Digest& digest);

// Overwrites a PIN's or a digest's bytes in a way the compiler keeps.
void Wipe(void* data, size_t size);

}  // namespace pinprint::printer
