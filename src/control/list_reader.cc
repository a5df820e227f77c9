#include "control/list_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/failure.h"

namespace i2m {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

size_t skip_digits(std::string_view s, size_t i) {
  while (i < s.size() && is_digit(s[i])) ++i;
  return i;
}

bool is_integer_text(std::string_view s) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  const size_t end = skip_digits(s, i);
  return end > i && end == s.size();
}

// Optional sign, digits with an optional point (at least one digit in all),
// then an optional exponent introduced by E or D.
bool is_real_text(std::string_view s) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  size_t end = skip_digits(s, i);
  size_t digits = end - i;
  if (end < s.size() && s[end] == '.') {
    const size_t after = skip_digits(s, end + 1);
    digits += after - end - 1;
    end = after;
  }
  if (digits == 0) return false;
  if (end < s.size() && (s[end] == 'e' || s[end] == 'E' || s[end] == 'd' || s[end] == 'D')) {
    size_t e = end + 1;
    if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
    const size_t after = skip_digits(s, e);
    if (after == e) return false;
    end = after;
  }
  return end == s.size();
}

}  // namespace

ListReader::ListReader(std::string file_name, std::string contents)
    : file_name_(std::move(file_name)), contents_(std::move(contents)) {}

void ListReader::fail_at(int line_number, std::string_view reason) const {
  fail_file(file_name_, "line " + std::to_string(line_number) + ": " + std::string(reason));
}

std::string_view ListReader::next_line(std::string_view what) {
  if (position_ >= contents_.size()) {
    fail_at(line_number_ + 1, "end of file while reading " + std::string(what));
  }
  const size_t end = contents_.find('\n', position_);
  const size_t stop = end == std::string::npos ? contents_.size() : end;
  std::string_view line(contents_.data() + position_, stop - position_);
  position_ = end == std::string::npos ? contents_.size() : end + 1;
  ++line_number_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

void ListReader::tokenize_line(std::string_view line, int line_number, int count,
                               std::vector<Token>& tokens, bool& after_value, std::string_view what) {
  size_t i = 0;
  while (static_cast<int>(tokens.size()) < count) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) return;
    if (line[i] == ',') {
      if (!after_value) fail_at(line_number, "empty value while reading " + std::string(what));
      after_value = false;
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < line.size() && !is_blank(line[i]) && line[i] != ',') ++i;
    tokens.push_back({line.substr(start, i - start), line_number});
    after_value = true;
  }
}

std::vector<ListReader::Token> ListReader::read_tokens(int count, std::string_view what) {
  std::vector<Token> tokens;
  // A comma after a value (and the blanks or line ends between them) is that
  // value's separator; a comma with no value before it is an empty value.
  // The state runs on across the lines of one read, since a line end
  // separates like a blank.
  bool after_value = false;
  while (static_cast<int>(tokens.size()) < count) {
    const std::string_view line = next_line(what);
    tokenize_line(line, line_number_, count, tokens, after_value, what);
  }
  return tokens;
}

std::vector<int32_t> ListReader::read_integers(int count, std::string_view what) {
  std::vector<int32_t> values;
  for (const Token& token : read_tokens(count, what)) {
    const std::string text(token.text);
    if (!is_integer_text(text)) {
      fail_at(token.line_number, "\"" + text + "\" is not an integer (" + std::string(what) + ")");
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
      fail_at(token.line_number, "\"" + text + "\" is out of the 32-bit range (" + std::string(what) + ")");
    }
    values.push_back(static_cast<int32_t>(value));
  }
  return values;
}

std::vector<float> ListReader::read_reals(int count, std::string_view what) {
  std::vector<float> values;
  for (const Token& token : read_tokens(count, what)) {
    std::string text(token.text);
    if (!is_real_text(text)) {
      fail_at(token.line_number, "\"" + text + "\" is not a number (" + std::string(what) + ")");
    }
    for (char& c : text) {
      if (c == 'd' || c == 'D') c = 'e';
    }
    const float value = std::strtof(text.c_str(), nullptr);
    if (std::isinf(value)) {
      fail_at(token.line_number, "\"" + text + "\" is beyond single precision (" + std::string(what) + ")");
    }
    values.push_back(value);
  }
  return values;
}

}  // namespace i2m
