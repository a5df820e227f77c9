#include "import/gaussian_latitudes.h"

#include <eccodes.h>

namespace i2m {

std::vector<double> gaussian_latitudes(int n) {
  if (n < 1 || n > 1 << 16) return {};
  std::vector<double> latitudes(2 * static_cast<size_t>(n));
  if (codes_get_gaussian_latitudes(n, latitudes.data()) != 0) return {};
  return latitudes;
}

}  // namespace i2m
