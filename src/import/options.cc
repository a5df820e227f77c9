#include "import/options.h"

#include <cmath>

#include "common/command_line.h"

namespace i2m {

std::optional<ImportOptions> parse_import_options(int argc, char** argv, int& exit_status) {
  ImportOptions o;
  CLI::App app{
      "Turns GRIB (editions 1 and 2) and NetCDF files (ERA5, GFS) into the converter's input: one record\n"
      "file per data time, InputModelInf.txt and adate.txt. Exit status: 0 imported; 1 storage; 2 any\n"
      "input, format or file problem."};
  add_standard_flags(app, "import_data_times");
  app.add_option("--out", o.out_dir, "Output folder, created when missing")->type_name("DIR")->capture_default_str();
  app.add_option("--levels", o.levels_hpa, "Keep exactly these pressure levels (hPa)")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->type_name("P,P,...")
      ->check(positive_number());
  app.add_option("--area", "Keep the points inside this box (degrees)")
      ->type_name("N/W/S/E")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return parse_area(text) ? std::string()
                                    : std::string("an area is N/W/S/E in degrees, with -90 <= S <= N <= 90");
          },
          "N/W/S/E"))
      ->each([&o](const std::string& text) { o.area = parse_area(text); });
  app.add_option("--grid", "Write a regular latitude-longitude grid of these increments (degrees, west-east first), "
                           "interpolated bilinearly from the sources; without it the sources' own grid")
      ->type_name("DLON[/DLAT]")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return parse_grid_increments(text)
                       ? std::string()
                       : std::string("a grid is DLON[/DLAT] in degrees, each a whole number of thousandths of a "
                                     "degree, greater than 0 and at most 90");
          },
          "DLON[/DLAT]"))
      ->each([&o](const std::string& text) { o.grid = parse_grid_increments(text); });
  app.add_option("--model", o.model, "Model name (control file line 1, file names); default from the sources")
      ->type_name("NAME")
      ->check(CLI::Validator(
          [](const std::string& name) {
            return valid_model_name(name) ? std::string()
                                          : std::string("a model name has 1 to 20 letters, digits, '.', '_' or '-'");
          },
          "NAME"));
  app.add_option("--member", o.member, "Import this ensemble member (GRIB key number, NetCDF number coordinate)")
      ->type_name("N")
      ->check(CLI::Range(int64_t{0}, int64_t{1} << 40));
  app.add_flag("--allow-missing-surface", o.allow_missing_surface,
               "Write surface fields the sources lack as missing values instead of refusing the data time");
  app.add_flag("--replace", o.replace,
               "Remove the output folder's .bin files of another grid or level list (and its control and date "
               "files) instead of refusing to write beside them");
  app.add_flag("--convert", o.convert,
               "Write the work files (and .gdsinfo files) straight away, as the converter would from each record "
               "file, with its log and manifest in DIR/logs; no record file is written");
  app.add_flag("--keep-input", o.keep_input, "With --convert: write the record files too");
  app.add_flag("--resume", o.resume,
               "With --convert: convert only the data times the folder's last conversion did not leave done");
  app.add_flag("--list", o.list, "Print the inventory of the files and the levels an import would keep; write nothing");
  app.add_flag("--list-files", o.list_files,
               "Print the name of each data time file an import would write, one per line and nothing else "
               "(for scripts); write nothing");
  app.add_option("--library-time-limit", o.library_time_limit,
                 "End with exit status 2 when ecCodes or netCDF-C spends longer than this on one field")
      ->type_name("SECONDS")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400))
      ->group("Robustness");
  app.add_option("FILE", o.files, "GRIB and NetCDF files, in any order")->required();
  if (const std::optional<int> status = parse_command_line(app, argc, argv)) {
    exit_status = *status;
    return std::nullopt;
  }
  return o;
}

}  // namespace i2m
