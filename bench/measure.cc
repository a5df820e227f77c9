// measure: runs a command and appends "wall_seconds max_rss_kib status" to a
// file, so the benchmark script needs no external timing tool.
//
//   measure RESULT_FILE COMMAND [ARGS...]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure RESULT_FILE COMMAND [ARGS...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) < 0) {
    std::perror("measure");
    return 2;
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  std::FILE* out = std::fopen(argv[1], "a");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 2;
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::fprintf(out, "%.4f %ld %d\n", wall.count(), usage.ru_maxrss, code);
  return std::fclose(out) == 0 ? code : 2;
}
