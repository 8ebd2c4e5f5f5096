// Failing the plug-in's platform calls on purpose. The built pinprintui.dll (or pinprintps.dll) is
// loaded afresh for every run, and its import address table is pointed at typed wrappers, one per
// imported function. On the thread that runs the scenario the wrappers count every call by its call
// site (the function and the return address), fail exactly the calls a plan names (the way the
// platform documents that function's failure, with a plausible last error), and keep a ledger
// of what the plug-in acquires and releases. Other threads' calls pass through untouched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace pinprint::test::faults {

// How a function reports failure, as its reference page has it.
enum class Failure : uint8_t {
    Never,      // documented never to fail (or what it answers is no failure): not injected
    Null,       // a null handle or pointer
    False,      // FALSE
    Zero,       // 0 (a length, a count, a colour mode)
    Value,      // another value: `value` (CLR_INVALID, IMM_ERROR_GENERAL)
    ErrorCode,  // the error code itself comes back: `value`
    HResult,    // a failing HRESULT: `value`
    Argument,   // one of its own arguments comes back: argument number `value`
};

// What the plug-in owns once an acquisition succeeds, until the matching release.
enum class Resource : uint8_t {
    None,
    HeapBlock,
    GlobalBlock,
    Printer,
    RegistryKey,
    CryptContext,
    CryptHash,
    Module,
    KeptModule,  // the help control: loaded once and kept for the life of the module, by design
    GdiObject,
    MemoryDc,
    ComInit,
    InputContext,
    CrtBlock,    // malloc, calloc, realloc; free
    TaskMemory,  // CoTaskMemAlloc; CoTaskMemFree
    Bstr,        // SysAllocString(Len); SysFreeString, which also frees the strings MSXML hands out
    ActivationContext,
    WindowDc,  // GetDC; ReleaseDC
};

// Replace: realloc, which releases its argument and acquires its result once it succeeds.
enum class Role : uint8_t { None, Acquire, Release, Replace };

struct Import {
    const char* dll;
    const char* name;
    Failure failure;
    intptr_t value;
    DWORD lastError;  // set with an injected failure; 0 where the function sets none
    Resource resource;
    Role role;
    int at;  // the handle: -1 the result, k argument k (an acquisition's out pointer), -2 the
             // thread
    ULONG_PTR wrapper;
};

// Every function the plug-in's own code imports.
std::span<const Import> Imports();
// KERNEL32 functions only the static C and C++ runtime inside the DLL calls (threads, locks,
// unwinding, thread-local storage): never patched. Of msvcrt.dll only the allocator has rows;
// the rest is the runtime's as well.
std::span<const char* const> RuntimeImports();

// A call site: the imported function and where the call returns to.
struct Site {
    int import;
    bool own;           // the return address lies in the plug-in: `address` is its offset
    ULONG_PTR address;  // else a tail call returned elsewhere: the absolute address
    auto operator<=>(const Site&) const = default;
};

// Fail the `occurrence`-th call (from 1) at `site`.
struct Fault {
    Site site;
    int occurrence;
};
using Plan = std::vector<Fault>;

struct Held {
    Resource resource;
    ULONG_PTR handle;
    Site site;
};

// The plug-in loaded for one run at a time.
class Injector {
  public:
    Injector();
    ~Injector();
    Injector(const Injector&) = delete;
    Injector& operator=(const Injector&) = delete;

    // Frees the previous copy, loads the plug-in `dll` from the bin folder, routes its imports
    // through the wrappers and counts on this thread from zero, failing what `plan` names. Null
    // when the DLL does not load.
    HMODULE Start(const Plan& plan, const std::string& description,
                  const wchar_t* dll = L"pinprintui.dll");
    // Stops counting; the ledger and the counts stay for reading.
    void Stop();

    // Calls of this run per site.
    const std::map<Site, int>& Calls() const;
    // Acquisitions not released (one kept module allowed), and releases of nothing held.
    std::vector<Held> Outstanding() const;
    std::vector<Held> UnmatchedReleases() const;
    // The plug-in handed `handle` to its caller as an out-parameter; the caller's release, made
    // outside the plug-in, is not seen, so the handle leaves the ledger here.
    void HandedOver(const void* handle);
    // Whether every fault of the plan happened.
    bool PlanFired() const;
    // An access violation or another fatal exception was raised during the run.
    bool Crashed() const;
    // "GetDlgItem at pinprintui+0x1a2b" (the DLL of the last Start).
    static std::string Describe(const Site& site);
    static std::string Describe(const Plan& plan);
    static const char* ResourceName(Resource resource);
};

}  // namespace pinprint::test::faults
