#include "common/parallel.h"

#include <algorithm>

namespace i2m {

WorkerPool::WorkerPool(int threads) {
  try {
    for (int w = 1; w < threads; ++w) threads_.emplace_back([this, w] { serve(w); });
  } catch (...) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : threads_) t.join();
    throw;
  }
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (std::thread& t : threads_) t.join();
}

// Takes jobs of the run in hand until none is left.
void WorkerPool::work(int worker) {
  for (;;) {
    size_t n = 0;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (next_ >= count_) return;
      n = next_++;
    }
    try {
      (*job_)(n, worker);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!error_) error_ = std::current_exception();
      next_ = count_;
    }
  }
}

// A pool thread: waits for each run, takes part in it, and says when done.
void WorkerPool::serve(int worker) {
  long long seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
    }
    work(worker);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      --busy_;
    }
    done_.notify_all();
  }
}

void WorkerPool::run(size_t count, const std::function<void(size_t n, int worker)>& job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    job_ = &job;
    count_ = count;
    next_ = 0;
    error_ = nullptr;
    busy_ = static_cast<int>(threads_.size());
    ++generation_;
  }
  start_.notify_all();
  work(0);
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return busy_ == 0; });
    job_ = nullptr;
    error = error_;
  }
  if (error) std::rethrow_exception(error);
}

int default_worker_count() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

}  // namespace i2m
