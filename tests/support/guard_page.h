// Buffers that end exactly where a PAGE_NOACCESS page begins: one byte read or written past
// the end faults at once and ends the test program, so a passing test proves an operation stays
// inside the bounds it was given.
#pragma once

#include <windows.h>

#include <cstddef>

namespace pinprint::test {

class GuardedBuffer {
  public:
    // `bytes` usable bytes, the last of them right before the guard page.
    explicit GuardedBuffer(size_t bytes);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    bool ok() const { return data_ != nullptr; }
    // Accesses to the guard page so far, including those the platform caught and hid (its
    // string functions catch faults and answer as if the string had ended there).
    long GuardHits() const;
    void* data() const { return data_; }
    size_t size() const { return bytes_; }
    template <typename T>
    T* as() const {
        return static_cast<T*>(data_);
    }

  private:
    void* guard_ = nullptr;
    void* base_ = nullptr;
    void* data_ = nullptr;
    size_t bytes_ = 0;
};

// True when the page right after the buffer is inaccessible (the guard is in place).
bool GuardFollows(const GuardedBuffer& buffer);

}  // namespace pinprint::test
