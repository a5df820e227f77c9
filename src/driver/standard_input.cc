#include "driver/standard_input.h"

#include "common/constants.h"
#include "common/failure.h"

namespace i2m {

std::string read_input_line(std::FILE* in, const char* which) {
  std::string field;
  int c = std::getc(in);
  if (c == EOF) {
    if (std::ferror(in)) fail_file_errno("standard input", std::string("cannot read ") + which);
    fail_file("standard input", std::string("end of file before ") + which);
  }
  for (; c != EOF && c != '\n'; c = std::getc(in)) {
    if (field.size() < static_cast<size_t>(kNameFieldLength)) field += static_cast<char>(c);
  }
  field.resize(kNameFieldLength, ' ');
  return field;
}

}  // namespace i2m
