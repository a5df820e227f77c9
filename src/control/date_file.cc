#include <fcntl.h>
#include <unistd.h>

#include "common/failure.h"
#include "common/file_io.h"
#include "control/run_control.h"

namespace i2m {
namespace {

constexpr size_t kDateLength = 8;

bool ends_word(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c == '\r'; }

// The first word of `text`: blanks and line ends before it are skipped; a
// quoted word may hold blanks. Empty when a separator comes first.
std::string first_word(const std::string& text, const std::string& path) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  if (i >= text.size()) fail_file(path, "end of file while reading the date");
  const char quote = text[i];
  if (quote == '\'' || quote == '"') {
    std::string word;
    for (size_t k = i + 1; k < text.size(); ++k) {
      if (text[k] != quote) {
        if (text[k] == '\n') break;
        word += text[k];
      } else if (k + 1 < text.size() && text[k + 1] == quote) {
        word += quote;  // a doubled quote stands for itself
        ++k;
      } else {
        return word;
      }
    }
    fail_file(path, "unterminated quoted date");
  }
  size_t end = i;
  while (end < text.size() && !ends_word(text[end])) ++end;
  return text.substr(i, end - i);
}

}  // namespace

std::string read_date_file(const std::string& path) {
  // A FIFO or device would hold the run in its open or its read.
  if (const std::string kind = irregular_file_kind(path); !kind.empty()) fail_file(path, "not a regular file: " + kind);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) fail_file_errno(path, "cannot open");
  std::string date = first_word(read_whole_file(fd, path), path).substr(0, kDateLength);
  date.resize(kDateLength, ' ');
  return date;
}

}  // namespace i2m
