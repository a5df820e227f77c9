#include "input/record_writer.h"

#include <sys/uio.h>

#include <cstdint>

#include "common/byte_order.h"
#include "common/failure.h"
#include "common/file_io.h"

namespace i2m {

void write_input_record(int fd, const std::string& path, int64_t r, const float* values, size_t points) {
  if (points > static_cast<size_t>(INT32_MAX / 4)) {
    fail_file(path, "a record of " + std::to_string(points) + " values does not fit its 32-bit count");
  }
  unsigned char count[4];
  encode_le32(static_cast<int32_t>(4 * points), count);
  // The values go from the caller's array to the file without a copy; the
  // array is little-endian already (byte_order.h refuses other hosts).
  iovec pieces[3] = {{count, 4}, {const_cast<float*>(values), 4 * points}, {count, 4}};
  write_gathered_at(fd, path, pieces, 3, (r - 1) * input_record_bytes(points));
}

}  // namespace i2m
