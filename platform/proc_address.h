// GetProcAddress with the export's type: the caller names the function type it knows the export
// has. FARPROC is converted through void (*)(), the one function type that compilers let stand
// for any other without a warning about incompatible casts.
#pragma once

#include <windows.h>

namespace pinprint {

// The export `name` (or an ordinal through MAKEINTRESOURCEA) of `module`; null when absent.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace pinprint
