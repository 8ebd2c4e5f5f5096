// Removing keyboard-mnemonic markers from a control caption, so that it reads well as the title
// of a message box. Platform-neutral on purpose (no <windows.h>) so that it can be fuzzed
// natively.
#pragma once

#include <cstddef>

namespace pinprint {

// Rewrites `caption` in place, in one pass:
//  - "(&X)" (a '&' with '(' just before it and ')' two characters after it) goes whole, and
//    so do three '.' that follow it at once: "Name(&N)..." becomes "Name";
//  - any other '&' goes and the character after it stays, so "&&" leaves one '&';
//  - a '&' at the very start never opens a group, and a '&' that ends the text ends it.
// The result is always terminated and never longer than the input. Returns its length; 0 for a
// null pointer, which is ignored.
size_t StripMnemonic(wchar_t* caption);

}  // namespace pinprint
