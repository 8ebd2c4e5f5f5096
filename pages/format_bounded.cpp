#include "pages/format_bounded.h"

#include <cstdio>
#include <cwchar>

namespace pinprint {

HRESULT FormatBoundedV(wchar_t* destination, size_t bytes, const wchar_t* format, va_list args) {
    const size_t capacity = bytes / sizeof(wchar_t);
    if (destination == nullptr || format == nullptr || capacity == 0 || capacity > 0x7FFFFFFF) {
        return E_INVALIDARG;
    }
    const size_t room = capacity - 1;
    // The C runtime's own _vsnwprintf keeps the platform's wide convention (%s is a wide string)
    // in both the MinGW and the MSVC build; the ISO vswprintf of MinGW's own stdio would not.
    // MSVC deprecates the name in favour of _vsnwprintf_s; the bound and the checks below do
    // what that would, so the warning is silenced for this call alone.
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    const int written = _vsnwprintf(destination, room, format, args);
    if (written < 0 || static_cast<size_t>(written) > room) {
        destination[room] = L'\0';
        return kFormatTruncated;
    }
    destination[written] = L'\0';
    return S_OK;
}

HRESULT FormatBounded(wchar_t* destination, size_t bytes, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT result = FormatBoundedV(destination, bytes, format, args);
    va_end(args);
    return result;
}

}  // namespace pinprint
