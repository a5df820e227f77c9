// netcdf_floor: the least any importer of a NetCDF file must do, as a
// yardstick for the importer's wall time: read every horizontal slab of
// every variable on latitude and longitude with netCDF-C on one thread,
// unpack packed values (x scale_factor + add_offset), and write as many
// bytes as the importer writes for it (a 4-byte count, 4 bytes per point,
// the count again), nothing else.
//
//   netcdf_floor INPUT OUTPUT

#include <netcdf.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: netcdf_floor INPUT OUTPUT\n");
    return 2;
  }
  nc_set_chunk_cache(0, 1, 0.75f);
  int nc = 0, nvars = 0;
  if (nc_open(argv[1], NC_NOWRITE, &nc) != NC_NOERR || nc_inq_nvars(nc, &nvars) != NC_NOERR) return 2;
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 2;
  std::vector<double> values;
  std::vector<float> floats;
  for (int v = 0; v < nvars; ++v) {
    int ndims = 0;
    nc_inq_varndims(nc, v, &ndims);
    if (ndims < 3) continue;  // coordinates
    std::vector<int> dims(static_cast<size_t>(ndims));
    nc_inq_vardimid(nc, v, dims.data());
    std::vector<size_t> lengths(dims.size());
    for (size_t d = 0; d < dims.size(); ++d) nc_inq_dimlen(nc, dims[d], &lengths[d]);
    const size_t points = lengths[dims.size() - 2] * lengths[dims.size() - 1];
    size_t slabs = 1;
    for (size_t d = 0; d + 2 < dims.size(); ++d) slabs *= lengths[d];
    double scale = 1, offset = 0;
    nc_get_att_double(nc, v, "scale_factor", &scale);
    nc_get_att_double(nc, v, "add_offset", &offset);
    values.resize(points);
    floats.resize(points);
    for (size_t s = 0; s < slabs; ++s) {
      std::vector<size_t> start(dims.size(), 0), count(dims.size(), 1);
      for (size_t d = dims.size() - 2, rest = s; d-- > 0; rest /= lengths[d]) start[d] = rest % lengths[d];
      count[dims.size() - 2] = lengths[dims.size() - 2];
      count[dims.size() - 1] = lengths[dims.size() - 1];
      if (nc_get_vara_double(nc, v, start.data(), count.data(), values.data()) != NC_NOERR) return 2;
      for (size_t p = 0; p < points; ++p) floats[p] = static_cast<float>(values[p] * scale + offset);
      const int bytes = static_cast<int>(4 * points);
      if (std::fwrite(&bytes, 4, 1, out) != 1 || std::fwrite(floats.data(), 4, points, out) != points ||
          std::fwrite(&bytes, 4, 1, out) != 1) {
        return 2;
      }
    }
  }
  nc_close(nc);
  return std::fclose(out) == 0 ? 0 : 2;
}
