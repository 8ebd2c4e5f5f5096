// A buffer that ends exactly where an inaccessible page begins: any read or write past its end
// faults at once, so a test proves a bound by simply surviving.
#pragma once

#include <windows.h>

#include <cstddef>

namespace pinprint::test {

template <typename T>
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t count) : count_(count) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t bytes = count * sizeof(T);
        const size_t dataPages = (bytes + page - 1) / page;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, (dataPages + 1) * page,
                                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (base_ == nullptr) {
            return;
        }
        BYTE* guard = base_ + dataPages * page;
        DWORD old = 0;
        if (!VirtualProtect(guard, page, PAGE_NOACCESS, &old)) {
            VirtualFree(base_, 0, MEM_RELEASE);
            base_ = nullptr;
            return;
        }
        data_ = reinterpret_cast<T*>(guard - bytes);
    }
    ~GuardedBuffer() {
        if (base_ != nullptr) {
            VirtualFree(base_, 0, MEM_RELEASE);
        }
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    bool ok() const { return data_ != nullptr; }
    T* data() const { return data_; }
    size_t size() const { return count_; }
    void Fill(T value) const {
        for (size_t i = 0; i < count_; ++i) {
            data_[i] = value;
        }
    }

private:
    size_t count_;
    BYTE* base_ = nullptr;
    T* data_ = nullptr;
};

}  // namespace pinprint::test
