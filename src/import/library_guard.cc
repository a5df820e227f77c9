#include "import/library_guard.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/sanitizer.h"
#ifdef I2M_ADDRESS_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

namespace i2m {
namespace {

// One slot per thread that has used a guard (the importer's workers and
// its main thread; threads beyond the slots go unwatched).
constexpr int kSlots = 64;
struct Slot {
  std::atomic<const std::string*> place{nullptr};
  std::atomic<long long> start{0};  // steady clock, ms
};
Slot slots[kSlots];
std::atomic<int> slots_taken{0};

thread_local const std::string* place_in_hand = nullptr;
LibraryFailureHandler failure_handler = nullptr;
thread_local int my_slot = -1;

long long now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Slot* slot_of_this_thread() {
  if (my_slot < 0) my_slot = slots_taken++;
  return my_slot < kSlots ? &slots[my_slot] : nullptr;
}

long page_size = 4096;

}  // namespace

void note_page_size() { page_size = ::sysconf(_SC_PAGESIZE); }

bool memory_is_short() {
  constexpr unsigned long long kHeadroom = 96ull << 20;  // more than a field's decoding takes
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  // The first number of /proc/self/statm: the address space in pages.
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[64] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  unsigned long long pages = 0;
  for (ssize_t k = 0; k < n && text[k] >= '0' && text[k] <= '9'; ++k) pages = pages * 10 + static_cast<unsigned>(text[k] - '0');
  return pages * static_cast<unsigned long long>(page_size) + kHeadroom > limit.rlim_cur;
}

LibraryAtWork::LibraryAtWork(const std::string& place) : previous_(place_in_hand), previous_start_(0) {
  place_in_hand = &place;
  if (Slot* slot = slot_of_this_thread()) {
    previous_start_ = slot->start.load();
    slot->start = now_ms();
    slot->place = &place;
  }
}

LibraryAtWork::~LibraryAtWork() {
  place_in_hand = previous_;
  if (Slot* slot = slot_of_this_thread()) {
    slot->place = previous_;
    slot->start = previous_start_;
  }
}

const std::string* library_place_in_hand() { return place_in_hand; }

void set_library_failure_handler(LibraryFailureHandler handler) { failure_handler = handler; }

LibraryFailureHandler library_failure_handler() { return failure_handler; }

// ecCodes' multi-field reader frees memory twice on some damaged messages,
// which ends the process. Such work runs first in a child process (with
// its standard error closed, as the C library reports the double free
// there); the caller repeats it only when the child came through. Failures
// of the importer's own in the child are left for the caller to meet.
bool survives_in_child(const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return true;  // no check possible; the work itself runs anyway
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDERR_FILENO);
    // The child's end is the parent's answer, not a crash of the program:
    // handlers that a harness installed for the parent (a fuzzer's) are
    // taken away.
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, SIG_DFL);
#ifdef I2M_ADDRESS_SANITIZER
    __sanitizer_set_death_callback(nullptr);
#endif
    try {
      work();
    } catch (...) {
    }
    std::_Exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}


void start_library_watchdog(int seconds, HangHandler handler) {
  std::thread([seconds, handler] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      const long long now = now_ms();
      for (Slot& slot : slots) {
        const std::string* place = slot.place.load();
        if (place != nullptr && now - slot.start.load() > seconds * 1000LL) handler(*place, seconds);
      }
    }
  }).detach();
}

}  // namespace i2m
