// Writes the seed corpus of the importer's fuzz target: small ERA5-like
// data sets as GRIB1 and GRIB2 (north and south first, with bitmaps) and as
// NetCDF in both of the Data Store's layouts, a few whole messages of the
// bundled GFS sample (a multi-field wind message among them), a small data
// time on model levels, the ERA5-like GRIB1 set gzipped and zipped, the
// files given after OUT_DIR (real files on Gaussian grids), and cut copies
// of each.
//
//   make_import_seeds GFS_SAMPLE OUT_DIR [FILE...]

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/era5_like.h"
#include "support/model_levels.h"
#include "support/netcdf_writer.h"

namespace {

using namespace testing_support;

std::vector<char> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The seed and two cut copies: inside the last message and in its middle.
void write_seed(const std::string& out, const std::string& name, const std::vector<char>& bytes) {
  write_all(out + "/" + name, bytes);
  write_all(out + "/" + name + ".cut_end", {bytes.begin(), bytes.end() - 7});
  write_all(out + "/" + name + ".cut_half", {bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_import_seeds GFS_SAMPLE OUT_DIR [FILE...]\n");
    return 2;
  }
  const std::string out = argv[2];
  Era5Like small;
  small.ni = 4;
  small.nj = 3;
  small.dlat = 45;  // GRIB1 holds steps up to 65.535 degrees
  small.dlon = 45;
  small.levels_hpa = {850, 500};
  small.dates = {20240101};
  small.times = {600};
  const GribLayout layouts[] = {{1, "grid_simple", false, false, nullptr}, {2, "grid_simple", false, false, nullptr},
                                {1, "grid_simple", true, true, nullptr}};
  int n = 0;
  for (const GribLayout& layout : layouts) {
    const std::string pl = out + "/.pl", sfc = out + "/.sfc";
    std::remove(pl.c_str());
    std::remove(sfc.c_str());
    write_era5_grib(small, layout, pl, sfc);
    std::vector<char> both = read_all(pl);
    const std::vector<char> single = read_all(sfc);
    both.insert(both.end(), single.begin(), single.end());
    write_seed(out, "era5_" + std::to_string(++n), both);
    std::remove(pl.c_str());
    std::remove(sfc.c_str());
  }
  // NetCDF holds one kind of file each: the pressure levels, then the single levels.
  const NetcdfLayout netcdf_layouts[] = {NetcdfLayout{}, NetcdfLayout{.newer = true}, NetcdfLayout{.expver = true}};
  for (const NetcdfLayout& layout : netcdf_layouts) {
    const std::string pl = out + "/.pl.nc", sfc = out + "/.sfc.nc";
    write_era5_netcdf(small, layout, pl, sfc);
    write_seed(out, "netcdf_pl_" + std::to_string(++n), read_all(pl));
    write_seed(out, "netcdf_sfc_" + std::to_string(n), read_all(sfc));
    std::remove(pl.c_str());
    std::remove(sfc.c_str());
  }
  // The GFS sample's first four messages: gh, t, r and the u/v pair.
  const std::vector<char> gfs = read_all(argv[1]);
  write_seed(out, "gfs_first_messages", {gfs.begin(), gfs.begin() + std::min<size_t>(gfs.size(), 42316)});
  // Model levels: 6 levels over 3 x 2 columns, t, q, u, v, lnsp and z.
  ModelLevelSet ml;
  ml.ni = 3;
  ml.nj = 2;
  ml.pv = smooth_pv(6);
  ml.ps = [](int i, int j) { return 100000.0 - 2000.0 * i - 1000.0 * j; };
  ml.zs = [](int i, int) { return 500.0 * i; };
  ml.t = [](int, double p, int, int) { return 200.0 + 80.0 * p / 100000.0; };
  ml.q = [](int, double p, int, int) { return 0.01 * p / 100000.0; };
  ml.u = [](int k, double, int, int) { return 10.0 - k; };
  ml.v = [](int, double, int i, int) { return 1.0 * i; };
  const std::string model_levels = out + "/.ml";
  std::remove(model_levels.c_str());
  write_model_level_grib(ml, model_levels);
  write_seed(out, "model_levels", read_all(model_levels));
  std::remove(model_levels.c_str());
  // Files as downloaded: the first GRIB1 set gzipped and zipped.
  const std::string command = "cd '" + out + "' && gzip -c era5_1 > .era5_1.gz && zip -q .era5_1.zip era5_1";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "make_import_seeds: gzip or zip failed in %s\n", out.c_str());
    return 2;
  }
  for (const char* packed : {".era5_1.gz", ".era5_1.zip"}) {
    write_seed(out, packed + 1, read_all(out + "/" + packed));
    std::remove((out + "/" + packed).c_str());
  }
  for (int a = 3; a < argc; ++a) {
    const std::string path = argv[a];
    write_seed(out, "file_" + path.substr(path.rfind('/') + 1), read_all(path));
  }
  return 0;
}
