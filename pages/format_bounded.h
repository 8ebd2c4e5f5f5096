// The bounded wide formatter behind every formatted text of the pages.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace pinprint {

// The platform's insufficient-buffer error (122) as an HRESULT: the text was cut to fit.
inline constexpr HRESULT kFormatTruncated = static_cast<HRESULT>(0x8007007A);

// Formats into `destination`, `bytes` long, following the platform's wide convention: in a wide
// format "%s" takes a wide string. An accepted destination always ends with a NUL.
// Returns S_OK when the whole text fits, kFormatTruncated when it was cut (or formatting failed),
// and E_INVALIDARG, touching nothing, when the byte size holds no character (below 2 or above
// 0xFFFFFFFF) or a pointer is null.
HRESULT FormatBounded(wchar_t* destination, size_t bytes, const wchar_t* format, ...);
HRESULT FormatBoundedV(wchar_t* destination, size_t bytes, const wchar_t* format, va_list args);

}  // namespace pinprint
