// Feeds arbitrary captions through StripMnemonic. The caption lies in a heap buffer of exactly
// its length plus one unit (so AddressSanitizer catches a step past it), and the fuzz input may
// hold zero units, so there is often text behind the first terminator that must stay untouched.
//
// Input layout: the units, two bytes each, little-endian; a lone last byte is one more unit.
// Units below 0x100 whose high byte is 0 cover the markers, so '&', '(', ')' and '.' come often.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pages/strip_mnemonic.h"
#include "fuzz/require.h"

using pinprint::StripMnemonic;

namespace {

// The rule written over a separate output, reading only the untouched original: so a mistake
// in working in place (reading back a unit already overwritten) shows up as a difference.
std::wstring Reference(const std::wstring& in) {
    std::wstring out;
    size_t i = 0;
    const auto at = [&in](size_t k) { return k < in.size() ? in[k] : L'\0'; };
    while (at(i) != L'\0') {
        const wchar_t c = at(i);
        if (c != L'&') {
            out.push_back(c);
            ++i;
            continue;
        }
        const bool group = i > 0 && at(i - 1) == L'(' && at(i + 1) != L'\0' && at(i + 2) == L')';
        if (group && !out.empty()) {
            out.pop_back();
            i += 3;
            if (at(i) == L'.' && at(i + 1) == L'.' && at(i + 2) == L'.') {
                i += 3;
            }
            continue;
        }
        ++i;
        if (at(i) == L'\0') {
            break;
        }
        out.push_back(at(i++));
    }
    return out;
}

bool IsSubsequence(const std::wstring& part, const std::wstring& whole) {
    size_t k = 0;
    for (size_t i = 0; i < whole.size() && k < part.size(); ++i) {
        if (whole[i] == part[k]) {
            ++k;
        }
    }
    return k == part.size();
}

size_t Count(const std::wstring& text, wchar_t c) {
    size_t n = 0;
    for (wchar_t u : text) {
        n += u == c ? 1 : 0;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t units = (size + 1) / 2;
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[units + 1]);
    for (size_t i = 0; i < units; ++i) {
        const uint16_t low = data[2 * i];
        const uint16_t high = 2 * i + 1 < size ? data[2 * i + 1] : 0;
        buffer[i] = static_cast<wchar_t>(low | (high << 8));
    }
    buffer[units] = L'\0';
    const std::wstring before(buffer.get(), units + 1);
    const std::wstring caption(buffer.get());  // up to the first terminator

    const size_t reported = StripMnemonic(buffer.get());

    // Terminated within the caption's own length, and never longer than it.
    size_t length = 0;
    while (length <= caption.size() && buffer[length] != L'\0') {
        ++length;
    }
    REQUIRE(length <= caption.size());
    REQUIRE(reported == length);
    const std::wstring result(buffer.get(), length);
    // Nothing behind the caption's terminator was touched.
    for (size_t i = caption.size() + 1; i <= units; ++i) {
        REQUIRE(buffer[i] == before[i]);
    }
    // Exactly the one-pass rule, and only removals: the result is a subsequence of the caption.
    REQUIRE(result == Reference(caption));
    REQUIRE(IsSubsequence(result, caption));
    // Every '&' left was escaped by a marker '&' that went: at most half of them stay.
    REQUIRE(2 * Count(result, L'&') <= Count(caption, L'&'));
    // A caption without markers comes back as it was.
    if (Count(caption, L'&') == 0) {
        REQUIRE(result == caption);
    }
    REQUIRE(StripMnemonic(nullptr) == 0);
    return 0;
}
