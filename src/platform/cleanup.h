#pragma once

// The program's two clean-up tools, free of Win32 types so the tab presenters
// and the Win32 layer share them: an owner for one handle of a kind, and a
// guard for a one-off clean-up. Both run their clean-up on every way out.

#include <utility>

namespace cu {

// Owns a handle of kind `Traits::Handle`, closed with `Traits::Close` unless it
// is `Traits::Invalid()`. Copying is deleted; moving hands the handle on.
// Traits whose Close can change the thread's last error keep it (the Win32
// traits do), so a caller may read the error of the call that failed right
// after the owner let go of its handle.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  bool valid() const { return !(handle_ == Traits::Invalid()); }
  explicit operator bool() const { return valid(); }

  // The address of the (closed, invalid) slot, for calls with an out handle.
  Handle* receive() {
    reset();
    return &handle_;
  }
  [[nodiscard]] Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle handle = Traits::Invalid()) {
    if (valid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Runs a function once, when the guard goes out of scope, unless dismissed.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (armed_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void dismiss() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace cu
