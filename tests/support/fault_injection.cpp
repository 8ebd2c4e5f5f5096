#include "support/fault_injection.h"

#include <imm.h>
#include <objbase.h>
#include <shlwapi.h>
#include <uxtheme.h>
#include <wincrypt.h>
#include <winspool.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <type_traits>

#include "support/import_table.h"
#include "support/test_support.h"

#if defined(_MSC_VER)
#include <intrin.h>
#define PINPRINT_RETURN_ADDRESS() reinterpret_cast<ULONG_PTR>(_ReturnAddress())
#else
#define PINPRINT_RETURN_ADDRESS() reinterpret_cast<ULONG_PTR>(__builtin_return_address(0))
#endif

namespace pinprint::test::faults {
namespace {

// The C runtime the DLL imports; its failures set errno, not the last error.
constexpr char kCrt[] = "MSVCRT.DLL";

// One row per function: DLL, name, how it fails (Failure, value, last error), and what it
// acquires or releases (Resource, Role, where the handle is). The errors are ones the reference
// pages name for the function, or the plainest one that fits.
#define PINPRINT_IMPORTS(X)                                                                       \
    X("ADVAPI32.DLL", CryptAcquireContextW, False, 0, NTE_PROV_TYPE_NOT_DEF, CryptContext,        \
      Acquire, 0)                                                                                 \
    X("ADVAPI32.DLL", CryptCreateHash, False, 0, NTE_BAD_ALGID, CryptHash, Acquire, 4)            \
    X("ADVAPI32.DLL", CryptDestroyHash, False, 0, NTE_BAD_HASH, CryptHash, Release, 0)            \
    X("ADVAPI32.DLL", CryptGetHashParam, False, 0, NTE_BAD_HASH, None, None, 0)                   \
    X("ADVAPI32.DLL", CryptHashData, False, 0, NTE_BAD_HASH_STATE, None, None, 0)                 \
    X("ADVAPI32.DLL", CryptReleaseContext, False, 0, NTE_BAD_UID, CryptContext, Release, 0)       \
    X("ADVAPI32.DLL", GetUserNameW, False, 0, ERROR_INSUFFICIENT_BUFFER, None, None, 0)           \
    X("ADVAPI32.DLL", RegCloseKey, ErrorCode, ERROR_INVALID_HANDLE, 0, RegistryKey, Release, 0)   \
    X("ADVAPI32.DLL", RegOpenKeyExA, ErrorCode, ERROR_ACCESS_DENIED, 0, RegistryKey, Acquire, 4)  \
    X("ADVAPI32.DLL", RegQueryValueExA, ErrorCode, ERROR_ACCESS_DENIED, 0, None, None, 0)         \
    X("GDI32.DLL", BitBlt, False, 0, 0, None, None, 0)                                            \
    X("GDI32.DLL", CreateBitmap, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GdiObject, Acquire, -1)        \
    X("GDI32.DLL", CreateCompatibleBitmap, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GdiObject, Acquire,  \
      -1)                                                                                         \
    X("GDI32.DLL", CreateCompatibleDC, Null, 0, ERROR_NOT_ENOUGH_MEMORY, MemoryDc, Acquire, -1)   \
    X("GDI32.DLL", CreateDIBSection, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GdiObject, Acquire, -1)    \
    X("GDI32.DLL", CreatePen, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GdiObject, Acquire, -1)           \
    X("GDI32.DLL", CreateSolidBrush, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GdiObject, Acquire, -1)    \
    X("GDI32.DLL", DeleteDC, False, 0, ERROR_INVALID_HANDLE, MemoryDc, Release, 0)                \
    X("GDI32.DLL", DeleteObject, False, 0, ERROR_INVALID_HANDLE, GdiObject, Release, 0)           \
    X("GDI32.DLL", GetClipBox, Zero, 0, ERROR_INVALID_HANDLE, None, None, 0) /* ERROR */          \
    X("GDI32.DLL", GetCurrentObject, Null, 0, ERROR_INVALID_HANDLE, None, None, 0)                \
    X("GDI32.DLL", GetDIBits, Zero, 0, ERROR_INVALID_PARAMETER, None, None, 0)                    \
    X("GDI32.DLL", GetDeviceCaps, Zero, 0, 0, None, None, 0)                                      \
    X("GDI32.DLL", GetMapMode, Zero, 0, ERROR_INVALID_HANDLE, None, None, 0)                      \
    X("GDI32.DLL", GetObjectW, Zero, 0, ERROR_INVALID_HANDLE, None, None, 0)                      \
    X("GDI32.DLL", LineTo, False, 0, 0, None, None, 0)                                            \
    X("GDI32.DLL", MoveToEx, False, 0, 0, None, None, 0)                                          \
    X("GDI32.DLL", PatBlt, False, 0, 0, None, None, 0)                                            \
    X("GDI32.DLL", SelectObject, Null, 0, 0, None, None, 0)                                       \
    X("GDI32.DLL", SetBkColor, Value, CLR_INVALID, 0, None, None, 0)                              \
    X("GDI32.DLL", SetMapMode, Zero, 0, 0, None, None, 0)                                         \
    X("IMM32.DLL", ImmGetCompositionStringW, Value, IMM_ERROR_GENERAL, 0, None, None, 0)          \
    X("IMM32.DLL", ImmGetContext, Null, 0, 0, InputContext, Acquire, -1)                          \
    X("IMM32.DLL", ImmReleaseContext, False, 0, 0, InputContext, Release, 1)                      \
    X("KERNEL32.DLL", CreateActCtxW, Value, -1 /* INVALID_HANDLE_VALUE */,                        \
      ERROR_SXS_CANT_GEN_ACTCTX, ActivationContext, Acquire, -1)                                  \
    X("KERNEL32.DLL", ExpandEnvironmentStringsA, Zero, 0, ERROR_NOT_ENOUGH_MEMORY, None, None, 0) \
    X("KERNEL32.DLL", FindResourceW, Null, 0, ERROR_RESOURCE_TYPE_NOT_FOUND, None, None, 0)       \
    X("KERNEL32.DLL", FormatMessageW, Zero, 0, ERROR_MR_MID_NOT_FOUND, None, None, 0)             \
    X("KERNEL32.DLL", FreeLibrary, False, 0, ERROR_INVALID_HANDLE, Module, Release, 0)            \
    X("KERNEL32.DLL", GetACP, Never, 0, 0, None, None, 0)                                         \
    X("KERNEL32.DLL", GetComputerNameW, False, 0, ERROR_BUFFER_OVERFLOW, None, None, 0)           \
    X("KERNEL32.DLL", GetLastError, Never, 0, 0, None, None, 0)                                   \
    X("KERNEL32.DLL", GetModuleFileNameW, Zero, 0, ERROR_MOD_NOT_FOUND, None, None, 0)            \
    /* A failed read of the settings file gives the default, as a missing key does. */            \
    X("KERNEL32.DLL", GetPrivateProfileIntW, Argument, 2, ERROR_FILE_NOT_FOUND, None, None, 0)    \
    X("KERNEL32.DLL", GetPrivateProfileStringW, Zero, 0, ERROR_FILE_NOT_FOUND, None, None, 0)     \
    X("KERNEL32.DLL", GetProcAddress, Null, 0, ERROR_PROC_NOT_FOUND, None, None, 0)               \
    X("KERNEL32.DLL", GetSystemDirectoryA, Zero, 0, ERROR_NOT_ENOUGH_MEMORY, None, None, 0)       \
    X("KERNEL32.DLL", GetVersion, Never, 0, 0, None, None, 0)                                     \
    X("KERNEL32.DLL", GetThreadUILanguage, Never, 0, 0, None, None, 0)                            \
    X("KERNEL32.DLL", GlobalAlloc, Null, 0, ERROR_NOT_ENOUGH_MEMORY, GlobalBlock, Acquire, -1)    \
    X("KERNEL32.DLL", GlobalFree, Argument, 0, ERROR_INVALID_HANDLE, GlobalBlock, Release, 0)     \
    X("KERNEL32.DLL", HeapAlloc, Null, 0, 0, HeapBlock, Acquire, -1) /* sets no error */          \
    X("KERNEL32.DLL", HeapFree, False, 0, ERROR_INVALID_PARAMETER, HeapBlock, Release, 2)         \
    X("KERNEL32.DLL", LCIDToLocaleName, Zero, 0, ERROR_INVALID_PARAMETER, None, None, 0)          \
    X("KERNEL32.DLL", LoadLibraryExA, Null, 0, ERROR_MOD_NOT_FOUND, KeptModule, Acquire, -1)      \
    X("KERNEL32.DLL", LoadLibraryW, Null, 0, ERROR_MOD_NOT_FOUND, Module, Acquire, -1)            \
    X("KERNEL32.DLL", LoadResource, Null, 0, ERROR_RESOURCE_DATA_NOT_FOUND, None, None, 0)        \
    X("KERNEL32.DLL", LockResource, Null, 0, 0, None, None, 0) /* sets no error */                \
    X("KERNEL32.DLL", MultiByteToWideChar, Zero, 0, ERROR_NO_UNICODE_TRANSLATION, None, None, 0)  \
    X("KERNEL32.DLL", ReleaseActCtx, Never, 0, 0, ActivationContext, Release, 0)                  \
    X("KERNEL32.DLL", SetLastError, Never, 0, 0, None, None, 0)                                   \
    X("KERNEL32.DLL", SizeofResource, Zero, 0, ERROR_RESOURCE_DATA_NOT_FOUND, None, None, 0)      \
    /* The edits' thread slots: taken at first use (TLS_OUT_OF_INDEXES when none is left), */     \
    /* kept until the module is unloaded. */                                                      \
    X("KERNEL32.DLL", TlsAlloc, Value, 0xFFFFFFFF, ERROR_NOT_ENOUGH_MEMORY, None, None, 0)        \
    X("KERNEL32.DLL", TlsFree, False, 0, ERROR_INVALID_PARAMETER, None, None, 0)                  \
    X("KERNEL32.DLL", TlsGetValue, Never, 0, 0, None, None, 0) /* a taken index's value */        \
    X("KERNEL32.DLL", TlsSetValue, False, 0, ERROR_NOT_ENOUGH_MEMORY, None, None, 0)              \
    X("KERNEL32.DLL", WideCharToMultiByte, Zero, 0, ERROR_INSUFFICIENT_BUFFER, None, None, 0)     \
    X("KERNEL32.DLL", lstrcmpW, Never, 0, 0, None, None, 0)                                       \
    X("KERNEL32.DLL", lstrlenW, Never, 0, 0, None, None, 0)                                       \
    /* The C runtime's allocator, which operator new and new (std::nothrow) of the static */      \
    /* libstdc++ reach: null with errno ENOMEM. */                                                \
    X(kCrt, calloc, Null, 0, ENOMEM, CrtBlock, Acquire, -1)                                       \
    X(kCrt, free, Never, 0, 0, CrtBlock, Release, 0)                                              \
    X(kCrt, malloc, Null, 0, ENOMEM, CrtBlock, Acquire, -1)                                       \
    X(kCrt, realloc, Null, 0, ENOMEM, CrtBlock, Replace, -1)                                      \
    X("MSIMG32.DLL", AlphaBlend, False, 0, ERROR_INVALID_PARAMETER, None, None, 0)                \
    X("OLE32.DLL", CoInitialize, HResult, RPC_E_CHANGED_MODE, 0, ComInit, Acquire, -2)            \
    X("OLE32.DLL", CoUninitialize, Never, 0, 0, ComInit, Release, -2)                             \
    X("OLE32.DLL", CoTaskMemAlloc, Null, 0, 0, TaskMemory, Acquire, -1)                           \
    X("OLE32.DLL", CoTaskMemFree, Never, 0, 0, TaskMemory, Release, 0)                            \
    /* MSXML's strings come back from the DOM, and the plug-in frees them with its own. */        \
    X("OLEAUT32.DLL", SysAllocString, Null, 0, 0, Bstr, Acquire, -1)                              \
    X("OLEAUT32.DLL", SysAllocStringLen, Null, 0, 0, Bstr, Acquire, -1)                           \
    X("OLEAUT32.DLL", SysFreeString, Never, 0, 0, Bstr, Release, 0)                               \
    X("OLEAUT32.DLL", SysStringLen, Never, 0, 0, None, None, 0) /* a length */                    \
    X("SHLWAPI.DLL", PathIsDirectoryW, False, 0, ERROR_FILE_NOT_FOUND, None, None, 0)             \
    X("USER32.DLL", CallWindowProcW, Never, 0, 0, None, None, 0)                                  \
    X("USER32.DLL", CheckDlgButton, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)         \
    X("USER32.DLL", CheckRadioButton, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)       \
    X("USER32.DLL", DefWindowProcW, Never, 0, 0, None, None, 0)                                   \
    X("USER32.DLL", EnableWindow, Never, 0, 0, None, None, 0) /* the previous state */            \
    X("USER32.DLL", EndDialog, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)              \
    X("USER32.DLL", FillRect, Zero, 0, ERROR_INVALID_HANDLE, None, None, 0)                       \
    X("USER32.DLL", GetAncestor, Null, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)             \
    X("USER32.DLL", GetDC, Null, 0, 0, WindowDc, Acquire, -1)                                     \
    X("USER32.DLL", GetDesktopWindow, Never, 0, 0, None, None, 0)                                 \
    X("USER32.DLL", GetDlgItem, Null, 0, ERROR_CONTROL_ID_NOT_FOUND, None, None, 0)               \
    X("USER32.DLL", GetDlgItemTextW, Zero, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)         \
    X("USER32.DLL", GetFocus, Null, 0, 0, None, None, 0) /* no window has the focus */            \
    X("USER32.DLL", GetParent, Null, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)               \
    X("USER32.DLL", GetSysColor, Never, 0, 0, None, None, 0)                                      \
    X("USER32.DLL", GetSysColorBrush, Null, 0, 0, None, None, 0)                                  \
    X("USER32.DLL", GetWindowLongPtrW, Zero, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)       \
    X("USER32.DLL", GetWindowRect, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)          \
    X("USER32.DLL", GetWindowTextLengthW, Zero, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)    \
    X("USER32.DLL", IsDlgButtonChecked, Never, 0, 0, None, None, 0) /* a state */                 \
    X("USER32.DLL", IsWindow, Never, 0, 0, None, None, 0)           /* a question */              \
    X("USER32.DLL", IsWindowVisible, Never, 0, 0, None, None, 0)    /* a question */              \
    X("USER32.DLL", LoadBitmapW, Null, 0, ERROR_RESOURCE_NAME_NOT_FOUND, GdiObject, Acquire, -1)  \
    X("USER32.DLL", LoadImageW, Null, 0, ERROR_RESOURCE_NAME_NOT_FOUND, GdiObject, Acquire, -1)   \
    X("USER32.DLL", LoadStringW, Zero, 0, ERROR_RESOURCE_NAME_NOT_FOUND, None, None, 0)           \
    X("USER32.DLL", MapWindowPoints, Zero, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)         \
    X("USER32.DLL", MessageBoxW, Zero, 0, ERROR_NOT_ENOUGH_MEMORY, None, None, 0)                 \
    X("USER32.DLL", MoveWindow, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)             \
    X("USER32.DLL", PtInRect, Never, 0, 0, None, None, 0) /* a question */                        \
    X("USER32.DLL", ReleaseDC, Zero, 0, 0, WindowDc, Release, 1)                                  \
    X("USER32.DLL", SendDlgItemMessageW, Never, 0, 0, None, None, 0) /* the message's answer */   \
    X("USER32.DLL", SendMessageW, Never, 0, 0, None, None, 0)        /* the message's answer */   \
    X("USER32.DLL", SetDlgItemTextW, False, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)        \
    X("USER32.DLL", SetFocus, Null, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)                \
    X("USER32.DLL", SetWindowLongPtrW, Zero, 0, ERROR_INVALID_WINDOW_HANDLE, None, None, 0)       \
    X("USER32.DLL", ShowWindow, Never, 0, 0, None, None, 0) /* the previous visibility */         \
    X("UXTHEME.DLL", DrawThemeParentBackground, HResult, E_FAIL, 0, None, None, 0)                \
    X("UXTHEME.DLL", IsAppThemed, Never, 0, 0, None, None, 0)                 /* a question */    \
    X("UXTHEME.DLL", IsThemeDialogTextureEnabled, Never, 0, 0, None, None, 0) /* a question */    \
    X("WINSPOOL.DRV", ClosePrinter, False, 0, ERROR_INVALID_HANDLE, Printer, Release, 0)          \
    X("WINSPOOL.DRV", GetPrinterDataW, ErrorCode, ERROR_INVALID_HANDLE, 0, None, None, 0)         \
    X("WINSPOOL.DRV", GetPrinterDriverW, False, 0, ERROR_INVALID_HANDLE, None, None, 0)           \
    X("WINSPOOL.DRV", OpenPrinterW, False, 0, ERROR_INVALID_PRINTER_NAME, Printer, Acquire, 1)    \
    X("WINSPOOL.DRV", SetPrinterDataW, ErrorCode, ERROR_ACCESS_DENIED, 0, None, None, 0)

enum : int {
#define PINPRINT_INDEX(dll, fn, ...) kImport_##fn,
    PINPRINT_IMPORTS(PINPRINT_INDEX)
#undef PINPRINT_INDEX
        kImportCount
};

constexpr const char* kRuntimeImports[] = {"AddVectoredExceptionHandler",
                                           "CloseHandle",
                                           "CreateEventA",
                                           "CreateSemaphoreA",
                                           "DeleteCriticalSection",
                                           "DuplicateHandle",
                                           "EnterCriticalSection",
                                           "GetCurrentProcess",
                                           "GetCurrentProcessId",
                                           "GetCurrentThread",
                                           "GetCurrentThreadId",
                                           "GetHandleInformation",
                                           "GetModuleHandleW",
                                           "GetProcessAffinityMask",
                                           "GetSystemTimeAsFileTime",
                                           "GetThreadContext",
                                           "GetThreadPriority",
                                           "GetTickCount64",
                                           "InitializeCriticalSection",
                                           "IsDBCSLeadByteEx",
                                           "IsDebuggerPresent",
                                           "LeaveCriticalSection",
                                           "OpenProcess",
                                           "OutputDebugStringA",
                                           "RaiseException",
                                           "ReleaseSemaphore",
                                           "RemoveVectoredExceptionHandler",
                                           "ResetEvent",
                                           "ResumeThread",
                                           "RtlCaptureContext",
                                           "RtlLookupFunctionEntry",
                                           "RtlUnwindEx",
                                           "RtlVirtualUnwind",
                                           "SetEvent",
                                           "SetProcessAffinityMask",
                                           "SetThreadContext",
                                           "SetThreadPriority",
                                           "Sleep",
                                           "SuspendThread",
                                           "TryEnterCriticalSection",
                                           "VirtualProtect",
                                           "VirtualQuery",
                                           "WaitForMultipleObjects",
                                           "WaitForSingleObject",
                                           "__C_specific_handler"};

// A run longer than this is a hang: the program reports the plan and ends.
constexpr ULONGLONG kRunLimitMs = 30000;

struct State {
    HMODULE module = nullptr;
    ULONG_PTR begin = 0;
    ULONG_PTR end = 0;
    DWORD thread = 0;
    bool counting = false;
    bool crashed = false;
    Plan plan;
    std::vector<bool> fired;
    std::map<Site, int> calls;
    std::vector<Held> held;
    std::vector<Held> unmatched;
    ULONG_PTR original[kImportCount] = {};
    // Read by the watchdog thread.
    volatile ULONGLONG runStart = 0;
    std::string description;
    std::string dll = "pinprintui";  // for the sites' descriptions
};
State state;

template <typename T>
ULONG_PTR Word(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<ULONG_PTR>(value);
    } else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) {
        return static_cast<ULONG_PTR>(value);
    } else {
        return 0;  // a record passed by value (PtInRect's POINT)
    }
}

template <typename R>
R FromWord(ULONG_PTR word) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(word);
    } else {
        return static_cast<R>(word);
    }
}

Resource Family(Resource resource) {
    return resource == Resource::KeptModule ? Resource::Module : resource;
}

// Counts the call; true when the plan fails this one. Calls on other threads are not the run's.
bool Enter(int index, ULONG_PTR returnAddress, Site& site, bool& counted) {
    counted = state.counting && GetCurrentThreadId() == state.thread;
    if (!counted) {
        return false;
    }
    const bool own = returnAddress >= state.begin && returnAddress < state.end;
    site = {index, own, own ? returnAddress - state.begin : returnAddress};
    const int occurrence = ++state.calls[site];
    for (size_t i = 0; i < state.plan.size(); ++i) {
        if (state.plan[i].site == site && state.plan[i].occurrence == occurrence) {
            state.fired[i] = true;
            return true;
        }
    }
    return false;
}

bool Succeeded(const Import& row, ULONG_PTR result) {
    switch (row.failure) {
        case Failure::ErrorCode:
            return result == ERROR_SUCCESS;
        case Failure::HResult:
            return static_cast<HRESULT>(result) >= 0;
        case Failure::Value:
            return result != static_cast<ULONG_PTR>(row.value);
        default:
            return result != 0;
    }
}

// A release counts as done even when its answer is made to fail: the plug-in can do no more
// than ask.
void Release(Resource resource, ULONG_PTR handle, const Site& site) {
    for (auto it = state.held.rbegin(); it != state.held.rend(); ++it) {
        if (Family(it->resource) == Family(resource) && it->handle == handle) {
            state.held.erase(std::next(it).base());
            return;
        }
    }
    // MSXML hands out strings the plug-in frees; they were never the plug-in's to acquire.
    if (resource == Resource::Bstr) {
        return;
    }
    state.unmatched.push_back({resource, handle, site});
}

void Track(int index, const Site& site, ULONG_PTR result, const ULONG_PTR* args, bool failed) {
    const Import& row = Imports()[index];
    if (row.role == Role::None) {
        return;
    }
    ULONG_PTR handle = 0;
    if (row.at == -2) {
        handle = GetCurrentThreadId();
    } else if (row.at == -1) {
        handle = result;
    } else if (row.role == Role::Release) {
        handle = args[row.at];
    } else if (args[row.at] != 0) {
        handle = *reinterpret_cast<const ULONG_PTR*>(args[row.at]);
    }
    if (row.role == Role::Replace) {
        // A failed realloc keeps the block it was given; free(NULL) releases nothing.
        if (failed || result == 0) {
            return;
        }
        if (args[0] != 0) {
            Release(row.resource, args[0], site);
        }
        state.held.push_back({row.resource, result, site});
        return;
    }
    if (row.role == Role::Acquire) {
        if (!failed && Succeeded(row, result) && handle != 0) {
            state.held.push_back({row.resource, handle, site});
        }
        return;
    }
    if (row.resource == Resource::CrtBlock && handle == 0) {
        return;
    }
    if (row.resource == Resource::TaskMemory && handle == 0) {
        return;  // CoTaskMemFree(NULL) frees nothing
    }
    Release(row.resource, handle, site);
}

template <typename R>
R Fail(const Import& row, const ULONG_PTR* args) {
    if (row.dll == kCrt) {
        errno = static_cast<int>(row.lastError);
    } else if (row.lastError != 0) {
        SetLastError(row.lastError);
    }
    if constexpr (!std::is_void_v<R>) {
        return FromWord<R>(row.failure == Failure::Argument ? args[row.value]
                                                            : static_cast<ULONG_PTR>(row.value));
    }
}

// The wrapper of import I, whose type is Fn. x64 has one calling convention, so the pointer
// type of the function declared WINAPI matches R (*)(A...).
template <int I, typename Fn>
struct Wrap;

template <int I, typename R, typename... A>
struct Wrap<I, R (*)(A...)> {
    static R WINAPI Call(A... args) {
        const ULONG_PTR words[] = {Word(args)..., 0};
        const Import& row = Imports()[I];
        Site site{};
        bool counted = false;
        const bool fail = Enter(I, PINPRINT_RETURN_ADDRESS(), site, counted);
        using Real = R(WINAPI*)(A...);
        const auto real = reinterpret_cast<Real>(state.original[I]);
        // A failed release still releases, so that the test program itself leaks nothing.
        if (fail && row.role != Role::Release) {
            if (counted) {
                Track(I, site, 0, words, true);
            }
            return Fail<R>(row, words);
        }
        if constexpr (std::is_void_v<R>) {
            real(args...);
            if (counted) {
                Track(I, site, 0, words, false);
            }
        } else {
            R result = real(args...);
            if (counted) {
                const DWORD error = GetLastError();
                Track(I, site, Word(result), words, false);
                SetLastError(error);
            }
            return fail ? Fail<R>(row, words) : result;
        }
    }
};

// The C runtime's functions are declared noexcept in C++.
template <int I, typename R, typename... A>
struct Wrap<I, R (*)(A...) noexcept> : Wrap<I, R (*)(A...)> {};

// decltype of a function declared with attributes (FormatMessageW's) drops them, as it should.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
const Import kImports[] = {
#define PINPRINT_ROW(dll, fn, failure, value, error, resource, role, at) \
    {dll,                                                                \
     #fn,                                                                \
     Failure::failure,                                                   \
     static_cast<intptr_t>(value),                                       \
     static_cast<DWORD>(error),                                          \
     Resource::resource,                                                 \
     Role::role,                                                         \
     at,                                                                 \
     reinterpret_cast<ULONG_PTR>(&Wrap<kImport_##fn, decltype(&::fn)>::Call)},
    PINPRINT_IMPORTS(PINPRINT_ROW)
#undef PINPRINT_ROW
};
#pragma GCC diagnostic pop
static_assert(std::size(kImports) == kImportCount);

LONG CALLBACK ReportCrash(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    if (state.runStart != 0 &&
        (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_STACK_OVERFLOW ||
         code == EXCEPTION_ILLEGAL_INSTRUCTION || code == EXCEPTION_INT_DIVIDE_BY_ZERO ||
         code == 0xC0000374 /* heap corruption */ || code == 0xC0000409 /* buffer overrun */)) {
        state.crashed = true;
        fprintf(stderr, "[faults] exception 0x%08lx at %p during %s\n", code,
                exception->ExceptionRecord->ExceptionAddress, state.description.c_str());
        fflush(stderr);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI Watchdog(LPVOID) {
    for (;;) {
        Sleep(500);
        const ULONGLONG start = state.runStart;
        if (start != 0 && GetTickCount64() - start > kRunLimitMs) {
            fprintf(stderr, "[faults] hang: a run took over %llu s: %s\n", kRunLimitMs / 1000,
                    state.description.c_str());
            fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

}  // namespace

std::span<const Import> Imports() {
    return kImports;
}

std::span<const char* const> RuntimeImports() {
    return kRuntimeImports;
}

Injector::Injector() {
    AddVectoredExceptionHandler(1, ReportCrash);
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
}

Injector::~Injector() {
    Stop();
    state.runStart = 0;
    if (state.module != nullptr) {
        FreeLibrary(state.module);
        state.module = nullptr;
    }
}

HMODULE Injector::Start(const Plan& plan, const std::string& description, const wchar_t* dll) {
    Stop();
    if (state.module != nullptr) {
        FreeLibrary(state.module);
    }
    state.module = LoadLibraryW(BinPath(dll).c_str());
    state.dll.assign(dll, dll + wcslen(dll) - 4);
    if (state.module == nullptr) {
        return nullptr;
    }
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(state.module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        reinterpret_cast<const BYTE*>(state.module) + dos->e_lfanew);
    state.begin = reinterpret_cast<ULONG_PTR>(state.module);
    state.end = state.begin + nt->OptionalHeader.SizeOfImage;
    ForEachImport(state.module, [](const char* dll, const char* name, ULONG_PTR* slot) {
        for (int i = 0; i < kImportCount; ++i) {
            if (lstrcmpiA(kImports[i].dll, dll) == 0 && strcmp(kImports[i].name, name) == 0) {
                state.original[i] = PatchImportSlot(slot, kImports[i].wrapper);
            }
        }
        return true;
    });
    state.plan = plan;
    state.fired.assign(plan.size(), false);
    state.calls.clear();
    state.held.clear();
    state.unmatched.clear();
    state.crashed = false;
    state.description = description;
    state.thread = GetCurrentThreadId();
    state.runStart = GetTickCount64();
    state.counting = true;
    return state.module;
}

void Injector::Stop() {
    state.counting = false;
    state.runStart = 0;
}

const std::map<Site, int>& Injector::Calls() const {
    return state.calls;
}

std::vector<Held> Injector::Outstanding() const {
    std::vector<Held> left;
    bool keptOne = false;
    for (const Held& held : state.held) {
        if (held.resource == Resource::KeptModule && !keptOne) {
            keptOne = true;
            continue;
        }
        left.push_back(held);
    }
    return left;
}

std::vector<Held> Injector::UnmatchedReleases() const {
    return state.unmatched;
}

void Injector::HandedOver(const void* handle) {
    const auto address = reinterpret_cast<ULONG_PTR>(handle);
    std::erase_if(state.held, [address](const Held& held) { return held.handle == address; });
}

bool Injector::PlanFired() const {
    return std::all_of(state.fired.begin(), state.fired.end(), [](bool f) { return f; });
}

bool Injector::Crashed() const {
    return state.crashed;
}

std::string Injector::Describe(const Site& site) {
    char text[160];
    if (site.own) {
        snprintf(text, sizeof(text), "%s at %s+0x%llx", kImports[site.import].name,
                 state.dll.c_str(), static_cast<unsigned long long>(site.address));
    } else {
        snprintf(text, sizeof(text), "%s (tail call, to %llx)", kImports[site.import].name,
                 static_cast<unsigned long long>(site.address));
    }
    return text;
}

std::string Injector::Describe(const Plan& plan) {
    std::string text;
    for (const Fault& fault : plan) {
        text += (text.empty() ? "" : ", then ") + Describe(fault.site) + " call " +
                std::to_string(fault.occurrence);
    }
    return text.empty() ? "no fault" : text;
}

const char* Injector::ResourceName(Resource resource) {
    static const char* const names[] = {"nothing",
                                        "driver heap block",
                                        "GlobalAlloc block",
                                        "printer",
                                        "registry key",
                                        "crypt context",
                                        "crypt hash",
                                        "module",
                                        "kept module",
                                        "GDI object",
                                        "memory DC",
                                        "COM initialization",
                                        "input context",
                                        "C runtime block",
                                        "task memory block",
                                        "BSTR",
                                        "activation context",
                                        "window DC"};
    return names[static_cast<int>(resource)];
}

}  // namespace pinprint::test::faults
