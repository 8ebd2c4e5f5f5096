#include "printer/digest.h"

#include <cups/cups.h>

namespace pinprint::printer {

bool Sha256(const void* data, size_t size, Digest* digest) {
    return cupsHashData("sha2-256", data, size, digest->data(), digest->size()) ==
           static_cast<ssize_t>(digest->size());
}

bool DigestsEqual(const Digest& a, const Digest& b) {
    // Every byte is looked at whatever the earlier ones were.
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        difference = difference | static_cast<uint8_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}

std::string DigestToHex(const Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
    }
    return hex;
}

void Wipe(void* data, size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size-- > 0) {
        *p++ = 0;
    }
}

}  // namespace pinprint::printer
