// The one way the project's programs spread work over threads: the
// importer's decoding and the season report's reading and drawing.
#pragma once

#include <cstddef>
#include <functional>

namespace i2m {

// Runs job(n, worker) for every n in [0, count), each once, on `threads`
// threads at most, the caller's own among them; `worker` (0 to threads - 1)
// tells a job which thread runs it, so that each thread may keep buffers of
// its own. After the first job that throws no other job starts; once every
// thread has ended, that exception is rethrown to the caller.
void run_in_parallel(size_t count, int threads, const std::function<void(size_t n, int worker)>& job);

}  // namespace i2m
