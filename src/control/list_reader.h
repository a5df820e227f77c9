// Free-form reading of numbers from a small text file, line oriented as the
// run control file is written: every read starts on a new line, takes its
// numbers separated by blanks or commas, continues on the following lines
// when one line does not hold enough of them, and ignores whatever follows
// its last number on the line where it ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace i2m {

class ListReader {
 public:
  // `file_name` is used in diagnostics only.
  ListReader(std::string file_name, std::string contents);

  const std::string& file_name() const { return file_name_; }

  // The next whole line, without its line feed. Ends the run at end of file.
  std::string_view next_line(std::string_view what);

  // Reads `count` integers (decimal, optional sign); a real, a letter or a
  // value beyond 32 bits ends the run with exit status 2.
  std::vector<int32_t> read_integers(int count, std::string_view what);

  // Reads `count` reals (with or without point and exponent), rounded to
  // single precision.
  std::vector<float> read_reals(int count, std::string_view what);

 private:
  struct Token {
    std::string_view text;
    int line_number;
  };
  std::vector<Token> read_tokens(int count, std::string_view what);
  void tokenize_line(std::string_view line, int line_number, int count,
                     std::vector<Token>& tokens, bool& after_value, std::string_view what);
  [[noreturn]] void fail_at(int line_number, std::string_view reason) const;

  std::string file_name_;
  std::string contents_;
  size_t position_ = 0;
  int line_number_ = 0;
};

}  // namespace i2m
