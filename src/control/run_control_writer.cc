#include "control/run_control_writer.h"

#include <charconv>

namespace i2m {

std::string format_pressure(float hpa) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, hpa, std::chars_format::fixed);
  return std::string(buffer, result.ptr);
}

std::string format_run_control(const RunControl& rc, const std::vector<float>& levels_hpa) {
  std::string text = rc.model_name + "\n";
  text += std::to_string(rc.im) + " " + std::to_string(rc.jm) + " " + std::to_string(rc.lm) + "\n";
  for (int32_t number : {rc.grid_type, rc.la1, rc.lo1, rc.la2, rc.lo2, rc.di, rc.dj}) {
    text += std::to_string(number) + "\n";
  }
  for (float p : levels_hpa) text += format_pressure(p) + "\n";
  return text;
}

}  // namespace i2m
