// The one line layout of the log and of the ".gdsinfo" file.
//
// A line starts with one blank and ends with a line feed; an empty line is
// a line feed alone. Items follow in order, each after the first preceded
// by one blank, except a text that directly follows another text.
//   text     written at its full length, trailing blanks included
//   integer  right-aligned in 11 characters
//   real     16 characters: fixed-point with 9 significant digits in 12
//            characters plus 4 blanks when its rounded magnitude lies in
//            [0.1, 1e9) or it is zero; otherwise d.ddddddddE+dd
//            right-aligned in 16. NaN and infinities are spelled out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace i2m {

class LogLine {
 public:
  LogLine& text(std::string_view s);
  LogLine& integer(int32_t value);
  LogLine& real(float value);

  // The finished line, line feed included.
  std::string str() const;

 private:
  enum class Last { kNone, kText, kNumber };
  void separate(bool is_text);

  std::string items_;
  Last last_ = Last::kNone;
};

// The 16-character real field of a line.
std::string format_real(float value);

// Writes the line to the run log: standard output, or the stream a
// LogRedirect names while it lives.
void log(const LogLine& line);

// Sends the run log to `to` for as long as it lives (the importer's
// conversions write each data time's log to a file of its own). The log is
// the one sink of the process: conversions that log run one at a time.
class LogRedirect {
 public:
  explicit LogRedirect(std::FILE* to);
  ~LogRedirect();
  LogRedirect(const LogRedirect&) = delete;
  LogRedirect& operator=(const LogRedirect&) = delete;

 private:
  std::FILE* previous_;
};

// Appends the line to `out` (used to build the ".gdsinfo" file).
void append_line(std::string& out, const LogLine& line);

}  // namespace i2m
