#include "common/log_line.h"

#include <cmath>
#include <cstdlib>

namespace i2m {
namespace {

std::string right_aligned(std::string_view s, size_t width) {
  std::string out;
  if (s.size() < width) out.assign(width - s.size(), ' ');
  out += s;
  return out;
}

// Fixed-point form built from the 9 correctly rounded significant digits,
// so that the choice of form and the digits written come from one rounding.
std::string fixed_form(bool negative, const char* digits, int exponent) {
  std::string s = negative ? "-" : "";
  if (exponent < 0) {
    s += "0.";
    s.append(digits, 9);
  } else {
    s.append(digits, static_cast<size_t>(exponent) + 1);
    s += '.';
    s.append(digits + exponent + 1, static_cast<size_t>(8 - exponent));
  }
  return right_aligned(s, 12) + "    ";
}

std::string exponent_form(bool negative, const char* digits, int exponent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%c.%.8sE%c%02d", negative ? "-" : "",
                digits[0], digits + 1, exponent < 0 ? '-' : '+',
                std::abs(exponent));
  return right_aligned(buffer, 16);
}

}  // namespace

std::string format_real(float value) {
  if (std::isnan(value)) return right_aligned("NaN", 16);
  if (std::isinf(value)) return right_aligned(value < 0 ? "-Infinity" : "Infinity", 16);

  // %.8e rounds the exact binary value to 9 significant digits, ties to even.
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.8e", std::fabs(static_cast<double>(value)));
  char digits[9];
  digits[0] = buffer[0];
  for (int d = 1; d < 9; ++d) digits[d] = buffer[d + 1];  // skip the point
  const int exponent = std::atoi(buffer + 11);            // after "d.ddddddddE"
  const bool negative = std::signbit(value);

  const bool is_zero = value == 0.0f;
  if (is_zero || (exponent >= -1 && exponent <= 8)) {
    return fixed_form(negative, digits, is_zero ? 0 : exponent);
  }
  return exponent_form(negative, digits, exponent);
}

void LogLine::separate(bool is_text) {
  if (last_ == Last::kNone) return;
  if (is_text && last_ == Last::kText) return;
  items_ += ' ';
}

LogLine& LogLine::text(std::string_view s) {
  separate(true);
  items_ += s;
  last_ = Last::kText;
  return *this;
}

LogLine& LogLine::integer(int32_t value) {
  separate(false);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%11d", static_cast<int>(value));
  items_ += buffer;
  last_ = Last::kNumber;
  return *this;
}

LogLine& LogLine::real(float value) {
  separate(false);
  items_ += format_real(value);
  last_ = Last::kNumber;
  return *this;
}

std::string LogLine::str() const {
  if (last_ == Last::kNone) return "\n";
  std::string line = " ";
  line += items_;
  line += '\n';
  return line;
}

namespace {
std::FILE* log_stream = nullptr;  // null: standard output
}  // namespace

void log(const LogLine& line) {
  const std::string s = line.str();
  std::fwrite(s.data(), 1, s.size(), log_stream != nullptr ? log_stream : stdout);
}

LogRedirect::LogRedirect(std::FILE* to) : previous_(log_stream) { log_stream = to; }

LogRedirect::~LogRedirect() { log_stream = previous_; }

void append_line(std::string& out, const LogLine& line) { out += line.str(); }

}  // namespace i2m
