// make_data_time: writes a synthetic data time for the converter: the input
// record file, ./InputModelInf.txt and ./adate.txt, with physically
// plausible fields and output that depends only on the arguments.
//
//   make_data_time --im 144 --jm 73 --lm 17 [--seed 1] [--levels 1000,925,...]
//                  [--dir DIR] [--name in.bin] [--missing FIELD:LEVEL ...]
//                  [--marker FIELD:LEVEL:I:J ...]
//
// FIELD is one of ht rh q tp uw vw slp (for slp, LEVEL is the slice 1..12).
// --missing fills a whole level with the input's missing marker 9.999e20;
// --marker puts the marker at one point (1-based i, j).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "control/run_control_writer.h"
#include "control/standard_levels.h"
#include "input/record_layout.h"
#include "input/record_writer.h"

namespace {

constexpr float kInputMissing = i2m::input_missing_flag;
// The names of InputField's values, in its order.
const char* const kFieldNames[] = {"ht", "rh", "q", "tp", "uw", "vw", "slp"};
static_assert(std::size(kFieldNames) == static_cast<size_t>(i2m::InputField::slp) + 1);

struct Options {
  int im = 144;
  int jm = 73;
  int lm = 17;
  uint64_t seed = 1;
  std::vector<float> levels;
  std::string dir = ".";
  std::string name = "in.bin";
  struct Mark {
    int field, level, i, j;  // i == 0: the whole level
  };
  std::vector<Mark> marks;
};

// Deterministic on every platform, unlike the standard distributions.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  float uniform() { return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f); }  // [0,1)
};

std::vector<float> default_levels(int lm) {
  if (lm == 17) return {std::begin(i2m::kStandard17LevelsHpa), std::end(i2m::kStandard17LevelsHpa)};
  if (lm == 37) return {std::begin(i2m::kEra5LevelsHpa), std::end(i2m::kEra5LevelsHpa)};
  std::vector<float> levels;
  for (int k = 0; k < lm; ++k) {
    const double p = lm == 1 ? 1000.0 : 1000.0 * std::pow(0.01, static_cast<double>(k) / (lm - 1));
    levels.push_back(static_cast<float>(std::round(p * 2.0) / 2.0));
  }
  return levels;
}

// "FIELD:LEVEL" (a whole level) or "FIELD:LEVEL:I:J" (one point); FIELD is
// one of ht rh q tp uw vw slp. Empty when it is neither.
std::optional<Options::Mark> parse_mark(const std::string& text, bool whole_level) {
  char field[8] = {};
  Options::Mark m{0, 0, 0, 0};
  const int n = whole_level ? std::sscanf(text.c_str(), "%7[a-z]:%d", field, &m.level)
                            : std::sscanf(text.c_str(), "%7[a-z]:%d:%d:%d", field, &m.level, &m.i, &m.j);
  if (n != (whole_level ? 2 : 4)) return std::nullopt;
  const auto* name = std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                                  [&](const char* f) { return std::string(field) == f; });
  if (name == std::end(kFieldNames)) return std::nullopt;
  m.field = static_cast<int>(name - std::begin(kFieldNames));
  return m;
}

CLI::Validator mark_validator(bool whole_level) {
  return CLI::Validator(
      [whole_level](std::string& text) {
        return parse_mark(text, whole_level) ? std::string()
                                             : std::string(whole_level ? "expected FIELD:LEVEL" : "expected FIELD:LEVEL:I:J") +
                                                   " with FIELD one of ht rh q tp uw vw slp";
      },
      whole_level ? "FIELD:LEVEL" : "FIELD:LEVEL:I:J");
}

// The options, or the exit status when the program must stop at once.
std::optional<Options> parse(int argc, char** argv, int& status) {
  Options o;
  std::vector<std::string> missing, markers;
  CLI::App app{"Writes a synthetic data time for the converter: the input record file, InputModelInf.txt and adate.txt."};
  i2m::add_standard_flags(app, "make_data_time");
  app.add_option("--im", o.im, "Points west-east")->capture_default_str()->check(CLI::Range(2, 1 << 20));
  app.add_option("--jm", o.jm, "Points south-north")->capture_default_str()->check(CLI::Range(2, 1 << 20));
  app.add_option("--lm", o.lm, "Levels")->capture_default_str()->check(CLI::Range(1, 1000));
  app.add_option("--seed", o.seed, "Seed of the values")->capture_default_str();
  app.add_option("--levels", o.levels, "Level pressures (hPa), level 1 first; default: lm levels from 1000 hPa up")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->type_name("P,P,...")
      ->check(i2m::positive_number());
  app.add_option("--dir", o.dir, "Output folder")->capture_default_str();
  app.add_option("--name", o.name, "Name of the input record file")->capture_default_str();
  app.add_option("--missing", missing, "Fill a whole level with the input's missing marker 9.999e20 (repeatable)")
      ->check(mark_validator(true));
  app.add_option("--marker", markers, "Put the marker at one point, 1-based I and J (repeatable)")
      ->check(mark_validator(false));
  if (const std::optional<int> stop = i2m::parse_command_line(app, argc, argv)) {
    status = *stop;
    return std::nullopt;
  }
  for (const std::string& m : missing) o.marks.push_back(*parse_mark(m, true));
  for (const std::string& m : markers) o.marks.push_back(*parse_mark(m, false));
  if (o.levels.empty()) o.levels = default_levels(o.lm);
  if (static_cast<int>(o.levels.size()) != o.lm) {
    std::fprintf(stderr, "make_data_time: --levels must list lm (%d) pressures (see --help)\n", o.lm);
    status = 2;
    return std::nullopt;
  }
  return o;
}

struct Grid {
  int im, jm;
  std::vector<float> lat_factor;  // cos(latitude) per row
  std::vector<float> lon_wave;    // a smooth west-east wave per column
  std::vector<float> land;        // 1 over land, 0 over sea, with a coast
};

Grid make_grid(const Options& o, Random& rng) {
  Grid g{o.im, o.jm, {}, {}, {}};
  for (int j = 0; j < o.jm; ++j) {
    const double lat = -90.0 + 180.0 * j / (o.jm - 1);
    g.lat_factor.push_back(static_cast<float>(std::cos(lat * M_PI / 180.0)));
  }
  for (int i = 0; i < o.im; ++i) {
    g.lon_wave.push_back(static_cast<float>(std::sin(2.0 * M_PI * i / o.im * 3.0)));
  }
  g.land.resize(static_cast<size_t>(o.im) * o.jm);
  for (int j = 0; j < o.jm; ++j) {
    for (int i = 0; i < o.im; ++i) {
      const float shape = g.lon_wave[i] + 0.6f * g.lat_factor[j] - 0.3f + 0.2f * rng.uniform();
      g.land[static_cast<size_t>(j) * o.im + i] = shape;  // raw mask: fractional values too
    }
  }
  return g;
}

// Writes the records one after the other through the project's record
// writer, the one the importer uses too.
class RecordWriter {
 public:
  explicit RecordWriter(const std::string& path) : path_(path), fd_(i2m::open_for_writing(path)) {}
  ~RecordWriter() {
    if (fd_ >= 0) ::close(fd_);  // only after a failure: close() has run otherwise
  }
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;
  void write(const std::vector<float>& values) {
    i2m::write_input_record(fd_, path_, ++records_, values.data(), values.size());
  }
  void close() {
    i2m::close_file(std::exchange(fd_, -1), path_);
  }

 private:
  std::string path_;
  int fd_;
  int64_t records_ = 0;
};

// Standard-atmosphere height (m) of a pressure (hPa).
float standard_height(float p) { return 44330.8f * (1.0f - std::pow(p / 1013.25f, 0.190263f)); }

float upper_value(int field, const Grid& g, float p, int i, int j, Random& rng) {
  const float lat = g.lat_factor[j];
  const float wave = g.lon_wave[i];
  const float noise = rng.uniform() - 0.5f;
  const float z = standard_height(p);
  const float t = std::fmax(216.65f, 288.15f - 0.0065f * z) - 25.0f * (1.0f - lat) + 3.0f * wave + noise;
  switch (field) {
    case 0: return z + 150.0f * lat * wave + 20.0f * noise;             // ht (m)
    case 1: return 5.0f + 95.0f * rng.uniform();                        // rh (%)
    case 2: return 0.012f * lat * lat * (p / 1000.0f) * rng.uniform();  // q (kg/kg)
    case 3: return t;                                                   // tp (K)
    case 4: return 25.0f * lat * (1.0f - p / 1100.0f) + 5.0f * wave + noise;  // uw (m/s)
    default: return 4.0f * wave * lat + noise;                          // vw (m/s)
  }
}

float surface_value(int slice, const Grid& g, int i, int j, Random& rng) {
  const size_t p = static_cast<size_t>(j) * g.im + i;
  const bool land = g.land[p] >= 0.1f;
  const float topo = land ? 1500.0f * (g.land[p] - 0.1f) : 0.0f;
  const float u = rng.uniform();
  switch (slice) {
    case i2m::kLandSeaMaskSlice: return g.land[p];  // raw land-sea mask
    case i2m::kMeanSeaLevelPressureSlice: return 1013.0f + 15.0f * g.lon_wave[i] * g.lat_factor[j] + u;  // hPa
    case i2m::kSurfacePressureSlice: return 1013.0f - topo / 8.3f + u;  // hPa
    case i2m::kTopographySlice: return topo;  // m
    default: break;
  }
  if (!i2m::is_soil_moisture_slice(slice)) return 250.0f + 45.0f * g.lat_factor[j] + 2.0f * u;  // soil temperature
  // Soil moisture: zero over the sea and at a few land points (gaps to fill),
  // and a few values above the 0.6 cap.
  if (!land || u < 0.03f) return 0.0f;
  return 0.05f + 0.62f * u;
}

void write_text(const std::string& path, const std::string& text) {
  const int fd = i2m::open_for_writing(path);
  i2m::write_at(fd, path, text.data(), text.size(), 0);
  i2m::close_file(fd, path);
}

// Fills one record's values with the marks given for it: a whole level
// (i = 0) or one point of the input's missing marker.
void apply_marks(const Options& o, int field, int level, std::vector<float>& values) {
  for (const Options::Mark& m : o.marks) {
    if (m.field != field || m.level != level) continue;
    if (m.i == 0) {
      std::fill(values.begin(), values.end(), kInputMissing);
    } else if (m.i >= 1 && m.i <= o.im && m.j >= 1 && m.j <= o.jm) {
      values[static_cast<size_t>(m.j - 1) * static_cast<size_t>(o.im) + static_cast<size_t>(m.i - 1)] = kInputMissing;
    }
  }
}

// The upper-air records, then the surface records, one after the other in
// the order of the input record file.
void write_records(const Options& o, const Grid& g, Random& rng) {
  std::vector<float> values(static_cast<size_t>(o.im) * static_cast<size_t>(o.jm));
  auto fill = [&](const std::function<float(int i, int j)>& value) {
    for (int j = 0; j < o.jm; ++j) {
      for (int i = 0; i < o.im; ++i) values[static_cast<size_t>(j) * static_cast<size_t>(o.im) + static_cast<size_t>(i)] = value(i, j);
    }
  };
  RecordWriter out(o.dir + "/" + o.name);
  for (int field = 0; field < i2m::kUpperAirFields; ++field) {
    for (int k = 1; k <= o.lm; ++k) {
      fill([&](int i, int j) { return upper_value(field, g, o.levels[static_cast<size_t>(k - 1)], i, j, rng); });
      apply_marks(o, field, k, values);
      out.write(values);
    }
  }
  for (int slice = 1; slice <= i2m::nsfcfld; ++slice) {
    fill([&](int i, int j) { return surface_value(slice, g, i, j, rng); });
    apply_marks(o, static_cast<int>(i2m::InputField::slp), slice, values);
    out.write(values);
  }
  out.close();
}

void write_data_time(const Options& o) {
  Random rng{o.seed};
  const Grid g = make_grid(o, rng);
  write_records(o, g, rng);
  // A global grid in thousandths of a degree, south to north, from 0 E.
  i2m::RunControl rc;
  rc.model_name = "SYNTHETIC data time";
  rc.im = o.im;
  rc.jm = o.jm;
  rc.lm = o.lm;
  rc.di = 360000 / o.im;
  rc.dj = 180000 / (o.jm - 1);
  rc.la1 = -90000;
  rc.la2 = -90000 + (o.jm - 1) * rc.dj;
  rc.lo2 = (o.im - 1) * rc.di;
  write_text(o.dir + "/" + i2m::kRunControlName, i2m::format_run_control(rc, o.levels));
  write_text(o.dir + "/" + i2m::kDateName, "2024010100\n");
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  const std::optional<Options> options = parse(argc, argv, status);
  if (!options) return status;
  try {
    write_data_time(*options);
  } catch (const i2m::RunFailure& failure) {
    std::fprintf(stderr, "make_data_time: %s\n", failure.message.c_str());
    return failure.status;
  } catch (const std::exception& e) {
    const i2m::RunFailure failure = i2m::failure_of(e);
    std::fprintf(stderr, "make_data_time: %s\n", failure.message.c_str());
    return failure.status;
  }
  return 0;
}
