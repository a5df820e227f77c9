// floor: the least any converter of one data time must do, as a yardstick
// for the converter's wall time. It reads the whole input file into memory
// in large transfers, then writes 5 lm + 12 records of 4 im jm bytes from
// that memory into a new file, one transfer per record. Its memory gets the
// converter's treatment: one block of whole 2 MiB pages, no huge-page hint
// (so that it measures the work, not the hint).
//
//   floor INPUT OUTPUT IM JM LM

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void die(const char* what, const char* path) {
  std::fprintf(stderr, "floor: %s: %s: %s\n", path, what, std::strerror(errno));
  std::exit(2);
}

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kChunk = size_t{64} << 20;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: floor INPUT OUTPUT IM JM LM\n");
    return 2;
  }
  const char* input = argv[1];
  const char* output = argv[2];
  const size_t record = 4 * std::strtoull(argv[3], nullptr, 10) * std::strtoull(argv[4], nullptr, 10);
  const size_t records = 5 * std::strtoull(argv[5], nullptr, 10) + 12;

  const int in = ::open(input, O_RDONLY);
  if (in < 0) die("cannot open", input);
  struct stat st {};
  if (::fstat(in, &st) != 0) die("cannot stat", input);
  const auto size = static_cast<size_t>(st.st_size);
  const size_t reserved = (size + kHugePage - 1) / kHugePage * kHugePage;
  auto* memory = static_cast<char*>(::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (memory == MAP_FAILED) die("cannot allocate", input);
  ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::read(in, memory + done, size - done < kChunk ? size - done : kChunk);
    if (n <= 0) die("cannot read", input);
    done += static_cast<size_t>(n);
  }
  ::close(in);

  const int out = ::open(output, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) die("cannot create", output);
  for (size_t r = 0; r < records; ++r) {
    // Record r comes from the input's record r (skipping its markers), the
    // way the converter's records come from the fields it read.
    const size_t source = (r % (size / (record + 8))) * (record + 8) + 4;
    const char* from = memory + source;
    for (size_t done = 0; done < record;) {
      const ssize_t n = ::pwrite(out, from + done, record - done, static_cast<off_t>(r * record + done));
      if (n <= 0) die("cannot write", output);
      done += static_cast<size_t>(n);
    }
  }
  if (::close(out) != 0) die("cannot close", output);
  ::munmap(memory, reserved);
  return 0;
}
