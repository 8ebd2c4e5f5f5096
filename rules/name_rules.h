// The rules for the user and job names that travel with a secure job: their lengths and the
// characters they may hold. The page's edit filters apply them as names are typed, and the
// PrintTicket provider to the names a ticket carries, so that both store the same names.
#pragma once

#include <windows.h>

namespace pinprint {

// Name limits in characters: full names, short names (DRVOPT_SHORT_NAMES).
inline constexpr int kFullNameLimit = 80;
inline constexpr int kShortNameLimit = 20;

// Which characters a name may hold besides the refused punctuation.
enum class NameCharset {
    Latin1,  // up to U+00FF
    Ansi,    // what survives the trip through the system's ANSI code page
    Any,     // short names: any character
};

// The charset the page's layout gives under the options word: short names take any character;
// with the radio pair (DRVOPT_NAME_CHOICE) or the swapped note (DRVOPT_LABEL_SWAP) shown the
// names must survive the ANSI code page; otherwise they stay within Latin-1.
NameCharset NameCharsetFor(DWORD options);

// The name limit in characters under the options word.
int NameLimitFor(DWORD options);

// Whether `c` may go into a name of `charset`.
bool AcceptsNameCharacter(NameCharset charset, wchar_t c);

// The eleven punctuation characters no name may hold.
bool IsRefusedNameCharacter(wchar_t c);

// True when `c` has a one-byte form in the system's ANSI code page that converts back to `c`.
bool PassesAnsiTest(wchar_t c);

}  // namespace pinprint
