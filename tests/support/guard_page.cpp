#include "support/guard_page.h"

#include <cstring>

namespace pinprint::test {

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
    data_ = guard - bytes;
    memset(data_, 0xCC, bytes);
}

GuardedBuffer::~GuardedBuffer() {
    if (base_ != nullptr) {
        VirtualFree(base_, 0, MEM_RELEASE);
    }
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
