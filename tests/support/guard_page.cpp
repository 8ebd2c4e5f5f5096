#include "support/guard_page.h"

#include <cstring>
#include <map>
#include <mutex>

namespace pinprint::test {
namespace {

// Guard pages in use and how often each was touched, seen first by a vectored handler.
std::mutex guardsLock;
std::map<ULONG_PTR, long> guards;
size_t pageSize = 0;

LONG CALLBACK CountGuardHit(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        const ULONG_PTR page = record->ExceptionInformation[1] & ~(ULONG_PTR(pageSize) - 1);
        std::lock_guard<std::mutex> hold(guardsLock);
        const auto found = guards.find(page);
        if (found != guards.end()) {
            ++found->second;
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

GuardedBuffer::GuardedBuffer(size_t bytes) : bytes_(bytes) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t dataPages = (bytes + page - 1) / page;
    const size_t total = (dataPages + 1) * page;
    base_ = VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (base_ == nullptr) {
        return;
    }
    auto* guard = static_cast<char*>(base_) + dataPages * page;
    DWORD old = 0;
    if (!VirtualProtect(guard, page, PAGE_NOACCESS, &old)) {
        return;
    }
    static const PVOID handler = (pageSize = page, AddVectoredExceptionHandler(1, CountGuardHit));
    (void)handler;
    {
        std::lock_guard<std::mutex> hold(guardsLock);
        guards[reinterpret_cast<ULONG_PTR>(guard)] = 0;
    }
    guard_ = guard;
    data_ = guard - bytes;
    memset(data_, 0xCC, bytes);
}

GuardedBuffer::~GuardedBuffer() {
    if (guard_ != nullptr) {
        std::lock_guard<std::mutex> hold(guardsLock);
        guards.erase(reinterpret_cast<ULONG_PTR>(guard_));
    }
    if (base_ != nullptr) {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
}

long GuardedBuffer::GuardHits() const {
    std::lock_guard<std::mutex> hold(guardsLock);
    const auto found = guards.find(reinterpret_cast<ULONG_PTR>(guard_));
    return found != guards.end() ? found->second : 0;
}

bool GuardFollows(const GuardedBuffer& buffer) {
    if (!buffer.ok()) {
        return false;
    }
    MEMORY_BASIC_INFORMATION info = {};
    const auto* after = static_cast<const char*>(buffer.data()) + buffer.size();
    return VirtualQuery(after, &info, sizeof(info)) == sizeof(info) &&
           info.Protect == PAGE_NOACCESS;
}

}  // namespace pinprint::test
