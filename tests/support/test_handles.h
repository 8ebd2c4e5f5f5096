// Owners for the handles only the tests and the driver host open: loaded modules and kernel
// handles. The plug-in's own owners are in platform/unique_handle.h.
#pragma once

#include <vector>

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

// Takes every GDI handle the process can get, then gives `spare` of them back: whatever leaks
// more than that many objects in total runs GDI out of handles. How many it took tells how many
// the process could still get.
class HandleHog {
  public:
    explicit HandleHog(size_t spare) {
        for (HBRUSH brush; (brush = CreateSolidBrush(RGB(7, 7, 7))) != nullptr;) {
            brushes_.push_back(brush);
        }
        for (size_t i = 0; i < spare && !brushes_.empty(); ++i) {
            DeleteObject(brushes_.back());
            brushes_.pop_back();
        }
    }
    ~HandleHog() {
        for (HBRUSH brush : brushes_) {
            DeleteObject(brush);
        }
    }
    HandleHog(const HandleHog&) = delete;
    HandleHog& operator=(const HandleHog&) = delete;

    size_t held() const { return brushes_.size(); }

  private:
    std::vector<HBRUSH> brushes_;
};

}  // namespace pinprint
