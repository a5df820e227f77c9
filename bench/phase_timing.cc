// phase_timing: runs one conversion through the converter's own run
// sequence on a real data time and prints the wall time of each phase on
// standard error. The log lines go to standard output as usual. Run it in a
// directory with InputModelInf.txt and adate.txt, the input path as its
// argument.
//
//   phase_timing INPUT > /dev/null

#include <chrono>
#include <cstdio>

#include "common/failure.h"
#include "driver/conv2model.h"
#include "thermo/estab.h"

namespace {

using Clock = std::chrono::steady_clock;

class PhaseClock {
 public:
  void lap(const char* phase) {
    const auto now = Clock::now();
    const std::chrono::duration<double, std::milli> ms = now - last_;
    std::fprintf(stderr, "%-28s %10.1f ms\n", phase, ms.count());
    total_ += ms.count();
    last_ = now;
  }
  void finish() const { std::fprintf(stderr, "%-28s %10.1f ms\n", "total", total_); }

 private:
  Clock::time_point last_ = Clock::now();
  double total_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: phase_timing INPUT\n");
    return 2;
  }
  try {
    PhaseClock clock;
    i2m::es_ini();
    clock.lap("saturation table");
    i2m::convert_data_time(argv[1], [&clock](const char* phase) { clock.lap(phase); });
    clock.finish();
  } catch (const i2m::RunFailure& f) {
    std::fprintf(stderr, "phase_timing: %s\n", f.message.c_str());
    return f.status;
  }
  return 0;
}
