// One move-only owner for every kind of handle, keyed on the function that releases it.
// Copying is deleted, moving hands the handle over, and the handle is released exactly once.
#pragma once

#include <utility>

namespace revertly {

// Release is called with a handle that is not Invalid. A release function that talks to
// Windows preserves GetLastError itself, so that destructors never disturb it.
template <typename Handle, auto Release, Handle Invalid = Handle{}>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }

    // Gives up ownership without releasing.
    Handle release() { return std::exchange(handle_, Invalid); }

    void reset(Handle handle = Invalid) {
        const Handle old = std::exchange(handle_, handle);
        if (old != Invalid) {
            Release(old);
        }
    }

  private:
    Handle handle_ = Invalid;
};

}  // namespace revertly
