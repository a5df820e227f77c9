// grib_floor: the least any importer of a GRIB file must do, as a yardstick
// for the importer's wall time: decode every message with ecCodes on one
// thread and write as many bytes as the importer writes for it (a 4-byte
// count, 4 bytes per point, the count again), nothing else.
//
//   grib_floor INPUT OUTPUT

#include <eccodes.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: grib_floor INPUT OUTPUT\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::FILE* out = std::fopen(argv[2], "wb");
  if (in == nullptr || out == nullptr) {
    std::perror("grib_floor");
    return 2;
  }
  std::vector<double> values;
  int error = 0;
  codes_handle* h = nullptr;
  while ((h = codes_handle_new_from_file(nullptr, in, PRODUCT_GRIB, &error)) != nullptr) {
    size_t n = 0;
    codes_get_size(h, "values", &n);
    values.resize(n);
    if (codes_get_double_array(h, "values", values.data(), &n) != 0) return 2;
    codes_handle_delete(h);
    const int count = static_cast<int>(4 * n);
    if (std::fwrite(&count, 4, 1, out) != 1 || std::fwrite(values.data(), 4, n, out) != n ||
        std::fwrite(&count, 4, 1, out) != 1) {
      std::perror(argv[2]);
      return 2;
    }
  }
  return error == 0 && std::fclose(out) == 0 ? 0 : 2;
}
