// A module's import address table: every function it imports by name, with the slot its calls
// go through, so that a test can route those calls through wrappers of its own.
#pragma once

#include <windows.h>

namespace pinprint::test {

// Calls visit(dll, function, slot) for every import by name of `module`; the slot holds the
// address its calls jump to. Stops when visit returns false.
template <typename Visit>
void ForEachImport(HMODULE module, Visit&& visit) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; import->Name != 0; ++import) {
        const auto* dll = reinterpret_cast<const char*>(base + import->Name);
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (!visit(dll, reinterpret_cast<const char*>(byName->Name), &slots->u1.Function)) {
                return;
            }
        }
    }
}

// Points an import slot at `target`; returns what it held.
inline ULONG_PTR PatchImportSlot(ULONG_PTR* slot, ULONG_PTR target) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    const ULONG_PTR previous = *slot;
    *slot = target;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
    return previous;
}

}  // namespace pinprint::test
