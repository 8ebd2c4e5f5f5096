// Owners for the handles only the tests and the driver host open: loaded modules and kernel
// handles. The plug-in's own owners are in platform/unique_handle.h.
#pragma once

#include "platform/unique_handle.h"

namespace pinprint {

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};

using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace pinprint
