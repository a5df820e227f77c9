// The two lines a run takes from standard input.
#pragma once

#include <cstdio>
#include <string>

namespace i2m {

// Reads one line into a 255-character field: padded with blanks, or cut
// after 255 characters with the rest of the line skipped. A last line
// without a line feed still counts. Ends the run with exit status 2 when
// standard input has no line left; `which` names the line in the message.
std::string read_input_line(std::FILE* in, const char* which);

}  // namespace i2m
