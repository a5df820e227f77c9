#include "common/parallel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace i2m {

void run_in_parallel(size_t count, int threads, const std::function<void(size_t n, int worker)>& job) {
  std::atomic<size_t> next{0};
  std::exception_ptr error;
  std::mutex mutex;
  auto work = [&](int worker) {
    for (size_t n = next++; n < count; n = next++) {
      try {
        job(n, worker);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!error) error = std::current_exception();
        next = count;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int w = 1; w < threads && static_cast<size_t>(w) < count; ++w) pool.emplace_back(work, w);
  work(0);
  for (std::thread& t : pool) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace i2m
