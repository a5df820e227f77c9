// The importer on files as users download them: archives and compressed
// streams, GRIB with bytes around its messages, ECMWF's soil on numbered
// layers, statistically processed fields, and refusals that say what a
// file is. Each case imports to the very records of the plain data set,
// or is refused with one line naming the file and the reason.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "import/inventory.h"
#include "support/data_time.h"
#include "support/era5_like.h"
#include "support/grib_writer.h"

namespace {

using namespace testing_support;

const std::string kRealData = std::string(SOURCE_DIR) + "/tests/data/realdata/";
const std::string kGfsSample = std::string(SOURCE_DIR) + "/examples/gfs/gfs_2p5deg_subset.grib2";

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

// The messages of a GRIB file, each whole, from their length fields.
std::vector<std::string> messages_of(const std::string& bytes) {
  std::vector<std::string> messages;
  for (size_t at = 0; at + 16 <= bytes.size();) {
    const auto byte = [&](size_t k) { return static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + k])); };
    uint64_t length = 0;
    if (byte(7) == 1) {
      length = byte(4) << 16 | byte(5) << 8 | byte(6);
    } else {
      for (size_t k = 8; k < 16; ++k) length = length << 8 | byte(k);
    }
    messages.push_back(bytes.substr(at, length));
    at += length;
  }
  return messages;
}

class ImportAsDownloaded : public ::testing::Test {
 protected:
  void SetUp() override {
    write_era5_grib(data, {2, "grid_simple", false, false, nullptr}, dir.file("pl.grib"), dir.file("sfc.grib"));
    const RunResult r = import(dir, "--out plain pl.grib sfc.grib");
    ASSERT_EQ(r.status, 0) << r.err;
  }
  // The import of `files` into `out` writes the plain import's records.
  void expect_plain_records(const std::string& files, const std::string& out) {
    const RunResult r = import(dir, "--out " + out + " " + files);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"era5_2024010100.bin", "era5_2024010106.bin", "InputModelInf.txt"}) {
      EXPECT_TRUE(file_bytes(dir.file(out + "/" + name)) == file_bytes(dir.file(std::string("plain/") + name))) << name;
    }
    last_out = r.out;
  }

  TempDir dir;
  Era5Like data;
  std::string last_out;
};

TEST_F(ImportAsDownloaded, BytesAroundTheMessagesAreSkippedAndCounted) {
  const std::vector<std::string> messages = messages_of(read_file(dir.file("pl.grib")));
  std::filesystem::create_directory(dir.file("junk"));
  struct Case {
    const char* name;
    std::string before, between, after;
    const char* note;
  };
  const std::string wmo = "\x01\r\r\n001 \r\r\nHTXA50 KWBC 010000\r\r\n";  // a bulletin header of 32 bytes
  ASSERT_EQ(wmo.size(), 32u);
  const Case cases[] = {
      {"a WMO bulletin header before each message", wmo, wmo, "",
       "pl.grib: skipped 32 bytes before message 1, 32 before message 2, 32 before message 3 and 1056 in 33 more places "
       "that belong to no GRIB message\n"},
      {"padding between the messages", "", std::string(7, '\0') + "padding", "",
       "pl.grib: skipped 14 bytes before message 2, 14 before message 3, 14 before message 4 and "},
      {"a long header before the first message", std::string(70000, 'x'), "", "",
       "pl.grib: skipped 70000 bytes before message 1 that belong to no GRIB message\n"},
      {"a stray byte between messages and one after the last", "", "G", "7",
       "pl.grib: skipped 1 byte before message 2, 1 before message 3, 1 before message 4 and "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = c.before;
    for (size_t m = 0; m < messages.size(); ++m) bytes += (m > 0 ? c.between : "") + messages[m];
    write_file(dir.file("junk/pl.grib"), bytes + c.after);
    expect_plain_records("junk/pl.grib sfc.grib", "out");
    EXPECT_NE(last_out.find(c.note), std::string::npos) << last_out;
    std::filesystem::remove_all(dir.file("out"));
  }
  // Skipping never hides a damaged message: one cut short is still refused.
  write_file(dir.file("junk/cut.grib"), wmo + messages[0] + wmo + messages[1].substr(0, 100));
  const RunResult r = import(dir, "--out out junk/cut.grib sfc.grib");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("junk/cut.grib: message 2 is cut short"), std::string::npos) << r.err;
}

TEST_F(ImportAsDownloaded, CompressedStreamsAndZipArchivesImportAsTheirFiles) {
  RunResult r = run_command(dir.path(), "gzip -k pl.grib && bzip2 -k sfc.grib && xz -k -c pl.grib > pl.grib.xz && "
                                        "mkdir z && cp pl.grib sfc.grib z && cd z && zip -q ../both.zip pl.grib sfc.grib && "
                                        "cp ../both.zip ../delivered.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_plain_records("pl.grib.gz sfc.grib.bz2", "gz");
  expect_plain_records("pl.grib.xz sfc.grib.bz2", "xz");
  expect_plain_records("both.zip", "zip");
  EXPECT_NE(last_out.find("sources: 2 files (GRIB2, GRIB2)"), std::string::npos) << last_out;
  // The Data Store names its zip deliveries .nc too: the first bytes tell.
  expect_plain_records("delivered.nc", "delivered");
  // Members are named "ARCHIVE: MEMBER" in listings and diagnostics.
  r = import(dir, "--list both.zip");
  EXPECT_NE(r.out.find("both.zip: pl.grib (GRIB2): 36 fields\n"), std::string::npos) << r.out;
  ASSERT_EQ(run_command(dir.path(), "cd z && zip -q ../pl.zip pl.grib").status, 0);
  r = import(dir, "--out out pl.zip");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("import_data_times: pl.zip: pl.grib: no surface field at all at 2024010100", 0), 0u) << r.err;
  // A member of neither kind is refused by name.
  r = run_command(dir.path(), "echo notes > readme.txt && zip -q notes.zip readme.txt pl.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  r = import(dir, "--out out notes.zip sfc.grib");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: notes.zip: readme.txt: neither GRIB nor NetCDF (it starts with neither a GRIB "
                   "message nor a NetCDF header, and is no zip archive or gzip, bzip2 or xz stream)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("out/InputModelInf.txt")));
  // Nothing of the members stays in the output folders.
  for (const char* out : {"gz", "xz", "zip", "delivered"}) {
    for (const auto& e : std::filesystem::directory_iterator(dir.file(out))) {
      EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
    }
  }
}

// Streams and archives cut short or damaged on the way: each is refused
// with one line naming it, never a crash (libarchive gives some of these
// no message of its own), and nothing is left in the output folder.
TEST_F(ImportAsDownloaded, DamagedOrCutArchivesAreRefusedNamingThem) {
  ASSERT_EQ(run_command(dir.path(), "gzip -k pl.grib && xz -k pl.grib && bzip2 -k pl.grib && "
                                    "zip -q pl.zip pl.grib sfc.grib")
                .status,
            0);
  const std::string gz = read_file(dir.file("pl.grib.gz"));
  const std::string xz = read_file(dir.file("pl.grib.xz"));
  const std::string bz2 = read_file(dir.file("pl.grib.bz2"));
  const std::string zip = read_file(dir.file("pl.zip"));
  struct Case {
    const char* name;
    const char* file;
    std::string bytes;
    const char* ours;  // the whole line where its reason is the importer's own, else ""
  };
  std::string flipped = gz;
  flipped[gz.size() / 2] = static_cast<char>(flipped[gz.size() / 2] ^ 0x55);
  const Case cases[] = {
      {"gzip without its trailer", "a.gz", gz.substr(0, gz.size() - 7), ""},
      {"gzip cut in half", "b.gz", gz.substr(0, gz.size() / 2), ""},
      {"gzip with a damaged byte", "c.gz", flipped, ""},
      {"xz cut in half", "d.xz", xz.substr(0, xz.size() / 2), ""},
      {"bzip2 cut in half", "e.bz2", bz2.substr(0, bz2.size() / 2), ""},
      {"zip cut in half", "f.zip", zip.substr(0, zip.size() / 2), ""},
      {"gzip of its header alone", "g.gz", gz.substr(0, 10),
       "import_data_times: g.gz: cannot be read as gzip: it is cut short\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir.file(c.file), c.bytes);
    const RunResult r = import(dir, std::string("--out out ") + c.file + " sfc.grib");
    EXPECT_EQ(r.status, 2);
    // Libarchive's own words differ between its versions: the line names
    // the file (or its member) and says it cannot be read or unpacked.
    EXPECT_EQ(r.err.rfind(std::string("import_data_times: ") + c.file + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("cannot be "), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    if (*c.ours != '\0') {
      EXPECT_EQ(r.err, c.ours);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")) && !std::filesystem::is_empty(dir.file("out")))
        << "left in the output folder";
  }
}

// A member larger than the bound goes to a temporary file of the scratch
// folder, which lives as long as its source.
TEST(ArchiveMembers, ALargeMemberWaitsInATemporaryFileRemovedWithItsSource) {
  TempDir dir;
  ASSERT_EQ(run_command(dir.path(), "cp '" + kGfsSample + "' gfs.grib2 && gzip gfs.grib2").status, 0);
  {
    std::vector<i2m::OpenedSource> sources;
    i2m::open_source(dir.file("gfs.grib2.gz"), dir.file("scratch"), sources, 4096);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].inventory.path, dir.file("gfs.grib2.gz") + ": gfs.grib2");
    EXPECT_EQ(sources[0].inventory.field_count, 141);
    size_t temporary = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("scratch"))) {
      temporary += e.path().filename().string().starts_with(".archive-member.");
    }
    EXPECT_EQ(temporary, 1u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("scratch")));
}

// ECMWF's open data since IFS 49r1: sot and vsw on level type 151, the
// layer given by its number (no real file of that cycle was at hand: the
// messages are made with the ecCodes API).
TEST_F(ImportAsDownloaded, SoilOnNumberedLayersIsEcmwfsFourLayers) {
  const RunResult r = run_command(
      dir.path(),
      "grib_copy -w shortName!=stl1/stl2/stl3/stl4/swvl1/swvl2/swvl3/swvl4 sfc.grib numbered.grib && "
      "for n in 1 2 3 4; do "
      "grib_copy -w shortName=stl$n sfc.grib t.grib && grib_set -s paramId=260360,typeOfFirstFixedSurface=151,"
      "scaleFactorOfFirstFixedSurface=0,scaledValueOfFirstFixedSurface=$n,typeOfSecondFixedSurface=255 t.grib t151.grib && "
      "grib_copy -w shortName=swvl$n sfc.grib m.grib && grib_set -s paramId=260199,typeOfFirstFixedSurface=151,"
      "scaleFactorOfFirstFixedSurface=0,scaledValueOfFirstFixedSurface=$n,typeOfSecondFixedSurface=255 m.grib m151.grib && "
      "cat t151.grib m151.grib >> numbered.grib; done && grib_ls -p shortName,level numbered.grib | grep -c vsw");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out, "8\n");
  expect_plain_records("pl.grib numbered.grib", "numbered");
  EXPECT_NE(last_out.find("soil temperature layer 4"), std::string::npos);
  // Another centre's numbered layers have depths of their own: not taken.
  ASSERT_EQ(run_command(dir.path(), "grib_set -s centre=78 numbered.grib dwd.grib").status, 0);
  const RunResult other = import(dir, "--list dwd.grib");
  EXPECT_NE(other.out.find("sot on soil 1 of centre edzw: the depths of its layers are not known (2)"), std::string::npos)
      << other.out;
}

TEST_F(ImportAsDownloaded, StatisticallyProcessedFieldsAreIgnoredSayingSo) {
  const RunResult r = run_command(
      dir.path(), "grib_copy -w shortName=t,level=850 pl.grib t.grib && "
                  "grib_set -s productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=0,"
                  "lengthOfTimeRange=6,indicatorOfUnitForTimeRange=1 t.grib mean.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_plain_records("pl.grib mean.grib sfc.grib", "out");
  const RunResult list = import(dir, "--list mean.grib");
  EXPECT_NE(list.out.find("  ignored: t, average over 6 h: not an instantaneous value (2)\n"), std::string::npos) << list.out;
}

TEST_F(ImportAsDownloaded, FieldsThatCannotBeWhatTheySayAreRefused) {
  struct Case {
    const char* set;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"dataDate=00000801", "bad.grib: message 1: its validity time 0000080100 lies outside the years 1800 to 2200: the date is damaged\n"},
      {"scaleFactorOfFirstFixedSurface=0,scaledValueOfFirstFixedSurface=0",
       "bad.grib: message 1: a pressure level of 0 Pa: the level is damaged\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set);
    RunResult r = run_command(dir.path(), std::string("grib_copy -w count=1 pl.grib one.grib && grib_set -s ") + c.set +
                                              " one.grib bad.grib");
    ASSERT_EQ(r.status, 0) << r.err;
    r = import(dir, "--out out pl.grib bad.grib sfc.grib");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("import_data_times: ") + c.diagnostic);
  }
}

TEST(RefusalsOfRealFiles, SayWhatTheFileIsInOneShortLine) {
  TempDir dir;
  // Real files: a Lambert grid after a stray byte (HRRR), the Data Store's
  // zip of two newer-layout files that together hold no humidity.
  RunResult r = import(dir, "--out out '" + kRealData + "subset_20201214_hrrr.t00z.wrfsfcf12.grib2'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: " + kRealData +
                       "subset_20201214_hrrr.t00z.wrfsfcf12.grib2: no field that the importer recognises (no upper-air "
                       "field at all)\n");
  r = import(dir, "--list '" + kRealData + "subset_20201214_hrrr.t00z.wrfsfcf12.grib2'");
  EXPECT_NE(r.out.find("  grid: grid type lambert (of fields not used)\n  note: skipped 1 byte before message 2, 1 after "
                       "the last message that belong to no GRIB message\n"),
            std::string::npos) << r.out;
  r = import(dir, "--out out '" + kRealData + "newer_layout_pair.zip'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: " + kRealData + "newer_layout_pair.zip: data_for_weather_reanalysis.nc, " +
                       kRealData + "newer_layout_pair.zip: data_stream-oper_stepType-instant.nc: no relative humidity "
                                   "at any pressure level at 2016052807\n");
  // A GRIB2 grid template ecCodes does not know (HEALPix), made from a sample.
  std::string healpix = read_file("/usr/share/eccodes/samples/regular_ll_sfc_grib2.tmpl");
  for (size_t at = 16; at < healpix.size();) {
    const auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(healpix[at + k])); };
    if (byte(4) == 3) {
      healpix[at + 12] = 0;
      healpix[at + 13] = static_cast<char>(150);
      break;
    }
    at += byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
  }
  write_file(dir.file("healpix.grib"), healpix);
  r = import(dir, "--out out healpix.grib");
  EXPECT_EQ(r.err, "import_data_times: healpix.grib: message 1: its grid definition template 3.150 is one ecCodes does not "
                   "know (HEALPix is 3.150): only latitude-longitude and Gaussian grids can be imported\n");
  // Sixty files name three and a count.
  ASSERT_EQ(run_command(dir.path(), "grib_copy -w shortName=lsm '" + kGfsSample +
                                        "' s.grib2 && for n in $(seq 0 59); do cp s.grib2 s$n.grib2; done").status, 0);
  std::string many;
  for (int n = 0; n < 60; ++n) many += " s" + std::to_string(n) + ".grib2";
  r = import(dir, "--out out" + many);
  EXPECT_EQ(r.err, "import_data_times: s0.grib2, s1.grib2, s2.grib2 and 57 more files: no upper-air field at all at "
                   "2011011512\n");
  EXPECT_LE(r.err.size(), 300u);
}

// The Data Store's newer NetCDF layout states ECMWF as its centre only
// among its global attributes: the import is named ERA5.
TEST(RealNewerLayout, IsNamedEra5ByItsGlobalCentre) {
  TempDir dir;
  RunResult r = run_command(dir.path(), "unzip -p '" + kRealData + "newer_layout_pair.zip' data_for_weather_reanalysis.nc "
                                        "> newer.nc && cdo -s setunit,% -chname,t,r -selname,t newer.nc r.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  r = import(dir, "--list-files --allow-missing-surface newer.nc r.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "era5_2016052807.bin");
}

TEST(RefusalsOfRealFiles, TwoDimensionalCoordinatesAreNamed) {
  TempDir dir;
  const RunResult r = run_command(
      dir.path(), "printf 'netcdf c { dimensions: y = 2 ; x = 2 ; variables: float lat(y, x) ; lat:units = \"degrees_north\" ; "
                  "float lon(y, x) ; lon:units = \"degrees_east\" ; float t(y, x) ; data: lat = 1, 1, 2, 2 ; "
                  "lon = 1, 2, 1, 2 ; t = 1, 2, 3, 4 ; }' > c.cdl && ncgen -o c.nc c.cdl");
  ASSERT_EQ(r.status, 0) << r.err;
  const RunResult i = import(dir, "--out out c.nc");
  EXPECT_EQ(i.err, "import_data_times: c.nc: latitude and longitude of two dimensions (a rotated or curvilinear grid): "
                   "only latitude-longitude and Gaussian grids can be imported\n");
}

}  // namespace
