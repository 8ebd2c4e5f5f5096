#include "pages/strip_mnemonic.h"

namespace pinprint {

size_t StripMnemonic(wchar_t* caption) {
    if (caption == nullptr) {
        return 0;
    }
    // `read` never falls behind `write`, so caption[read - 1] is always the original character
    // (either not yet overwritten, or overwritten with itself).
    size_t read = 0;
    size_t write = 0;
    while (caption[read] != L'\0') {
        const wchar_t c = caption[read];
        if (c != L'&') {
            caption[write++] = c;
            ++read;
            continue;
        }
        // The group test looks at most two characters ahead and stops at the terminator.
        const bool group = read > 0 && caption[read - 1] == L'(' && caption[read + 1] != L'\0' &&
                           caption[read + 2] == L')';
        if (group && write > 0) {
            --write;  // the '(' already written
            read += 3;
            if (caption[read] == L'.' && caption[read + 1] == L'.' && caption[read + 2] == L'.') {
                read += 3;
            }
            continue;
        }
        ++read;  // drop the marker, keep what it marks
        if (caption[read] == L'\0') {
            break;
        }
        caption[write++] = caption[read++];
    }
    caption[write] = L'\0';
    return write;
}

}  // namespace pinprint
