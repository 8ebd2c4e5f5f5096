// A typed view of a GuardedBuffer: `count` elements of T whose last one lies right before the
// inaccessible page.
#pragma once

#include <algorithm>
#include <cstddef>

#include "support/guard_page.h"

namespace pinprint::test {

template <typename T>
class GuardedArray {
  public:
    explicit GuardedArray(size_t count) : buffer_(count * sizeof(T)), count_(count) {}
    // Every element `fill` (where the array could be had).
    GuardedArray(size_t count, T fill) : GuardedArray(count) {
        if (ok()) {
            Fill(fill);
        }
    }

    bool ok() const { return buffer_.ok() && GuardFollows(buffer_); }
    T* data() const { return buffer_.as<T>(); }
    size_t size() const { return count_; }
    void Fill(T value) const { std::fill_n(data(), count_, value); }

  private:
    GuardedBuffer buffer_;
    size_t count_;
};

}  // namespace pinprint::test
