// Running out of memory while the dependent files are looked up: the lookups need no memory, and
// the list gives all or nothing, never a partial list taken for the whole, and no exception
// leaves it.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "config/driver_files.h"
#include "support/test_printer.h"

namespace {

// Allocations allowed before operator new fails; negative: no limit.
std::atomic<long> allocationBudget{-1};

void* Allocate(size_t size) {
    long left = allocationBudget.load();
    while (left >= 0) {
        if (left == 0) {
            return nullptr;
        }
        if (allocationBudget.compare_exchange_weak(left, left - 1)) {
            break;
        }
    }
    return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}

// Lifts the limit when a scope ends, so that the checks themselves can allocate.
struct Budget {
    explicit Budget(long allocations) { allocationBudget = allocations; }
    ~Budget() { allocationBudget = -1; }
};

}  // namespace

void* operator new(size_t size) {
    if (void* p = Allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}
void operator delete[](void* p) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}
void operator delete[](void* p, size_t) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}

namespace pinprint {
namespace {

// The lookups read the spooler's record in place and allocate nothing, so they find the file
// whatever memory is left; the list, which must allocate, is all or nothing.
TEST(OutOfMemory, LookupsFindWithoutMemoryAndTheListIsAllOrNothing) {
    test::DriverSetup driver;
    driver.driverName = L"PinPrint OOM Driver";
    driver.dataFile = L"OOM.PPD";
    // Names long enough that every copy allocates.
    driver.dependentFiles = {L"README-first-of-the-package.TXT", L"second-file-of-the-package.ini",
                             L"xyzlgres-the-resource-module.dll", L"pinprint-the-help-file.chm",
                             L"OTHERLG-a-later-candidate.DLL"};
    test::TestPrinter printer(L"PinPrint OOM", driver);
    ASSERT_TRUE(printer.ok());
    const std::wstring dir = printer.DriverDirectory();

    bool sawFailure = false;
    bool sawSuccess = false;
    for (long budget = 0; budget < 40 && !sawSuccess; ++budget) {
        SCOPED_TRACE(budget);
        wchar_t name[kPathChars];
        wmemset(name, L'#', kPathChars);
        int found = 0;
        {
            Budget limit(budget);
            found = FindResourceModuleName(printer.handle(), name);
        }
        EXPECT_EQ(found, 1);
        EXPECT_STREQ(name, L"xyzlgres-the-resource-module.dll");

        std::vector<std::wstring> list = {L"kept"};
        list.reserve(16);  // so that only the lookup's own allocations count
        int result = 0;
        {
            Budget limit(budget);
            result = GetDependentFiles(printer.handle(), list);
        }
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(list.size() == 1 || list.size() == 1 + driver.dependentFiles.size())
            << list.size();
        if (list.size() > 1) {
            sawSuccess = true;
            EXPECT_EQ(list[3], dir + L"xyzlgres-the-resource-module.dll");
        } else {
            sawFailure = true;
        }
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_TRUE(sawSuccess);
}

}  // namespace
}  // namespace pinprint
