// The options word the driver package sets at install time ("VkDriverOptions" in printer data)
// and the one rule every reader follows: read it afresh at each decision, and count a failed
// read as all bits clear.
#pragma once

#include <windows.h>

namespace pinprint {

using DriverOptions = DWORD;

inline constexpr DriverOptions DRVOPT_SECURE_PAGE = 0x1;
inline constexpr DriverOptions DRVOPT_SHORT_NAMES = 0x2;
inline constexpr DriverOptions DRVOPT_NAME_CHOICE = 0x4;
inline constexpr DriverOptions DRVOPT_LABEL_SWAP = 0x8;
inline constexpr DriverOptions DRVOPT_SECURE_ALWAYS = 0x10;
inline constexpr DriverOptions DRVOPT_ALT_TEMPLATE = 0x20;
inline constexpr DriverOptions DRVOPT_ABOUT_PAGE = 0x100;

inline constexpr wchar_t kDriverOptionsValue[] = L"VkDriverOptions";

// Reads "VkDriverOptions" from the printer's data into a 4-byte buffer. Any failure (value
// missing, larger than 4 bytes, printer unreachable) gives 0. Nothing is cached.
DriverOptions ReadDriverOptions(HANDLE printer);

// One decision: the bit is set only when a fresh read succeeds and has it.
inline bool HasDriverOption(HANDLE printer, DriverOptions bit) {
    return (ReadDriverOptions(printer) & bit) != 0;
}

}  // namespace pinprint
