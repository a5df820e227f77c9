// Storage of a thread's own, kept for the thread's life and reached through
// a plain pointer: unlike a thread_local object with a destructor, it asks
// the C library to register nothing when a thread first uses it, so that a
// thread started near a memory limit meets a catchable bad_alloc instead
// of glibc's abort ("failed to register TLS destructor"). The objects are
// owned by a registry that lives until the program ends.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace i2m {

// This thread's T, default-constructed on its first use. Throws
// std::bad_alloc when it cannot be had.
template <typename T>
T& thread_scratch() {
  static std::mutex mutex;
  static std::vector<std::unique_ptr<T>> registry;
  thread_local T* mine = nullptr;
  if (mine == nullptr) {
    auto fresh = std::make_unique<T>();
    const std::lock_guard<std::mutex> lock(mutex);
    registry.push_back(std::move(fresh));
    mine = registry.back().get();
  }
  return *mine;
}

}  // namespace i2m
