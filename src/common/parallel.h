// The one way the project's programs spread work over threads: the
// importer's reading, interpolation and writing, and the season report's
// reading and drawing. A program starts one pool and keeps it: its threads,
// and whatever each keeps of its own (buffers, a watchdog slot), live as
// long as the pool.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace i2m {

class WorkerPool {
 public:
  // Starts threads - 1 threads (at least none): the caller's thread is
  // worker 0 of every run. Throws std::system_error when the system
  // refuses a thread.
  explicit WorkerPool(int threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Workers of a run, the caller's thread included.
  int size() const { return static_cast<int>(threads_.size()) + 1; }

  // Runs job(n, worker) for every n in [0, count), each once, on the pool's
  // workers and the caller's thread; `worker` (0 to size() - 1) tells a job
  // which thread runs it, the same thread for the same number in every
  // run. After the first job that throws no other job starts; once every
  // worker has stopped, that exception is rethrown to the caller. Runs of
  // one pool do not overlap: a job must not start another run.
  void run(size_t count, const std::function<void(size_t n, int worker)>& job);

 private:
  void serve(int worker);
  void work(int worker);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_, done_;
  // The run in hand.
  const std::function<void(size_t, int)>* job_ = nullptr;
  size_t count_ = 0;
  size_t next_ = 0;
  long long generation_ = 0;
  int busy_ = 0;  // pool threads still on the run in hand
  bool stopping_ = false;
  std::exception_ptr error_;
};

// The number of workers the programs use on this machine: its cores, at
// most 4 (more do not pay: the libraries serialise much of their work).
int default_worker_count();

}  // namespace i2m
