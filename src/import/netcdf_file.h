// netCDF-C as the NetCDF source uses it: its errors turned into the
// importer's diagnostics, attributes, variables and their dimensions, the
// file's format and checks netCDF-C does not make. Only the NetCDF source
// files include this.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace i2m {

// netCDF-C, and the HDF5 library beneath it, keep state of their own that
// no two threads may touch at once: every call into them holds this lock.
extern std::mutex netcdf_lock;

// Ends the run for a netCDF-C error: exit status 1 when it ran out of
// memory (the file is not to blame), else 2 naming `where`.
void check(int status, const std::string& where);

// The length of a coordinate's dimension, refused (exit status 2) beyond
// `limit`: a damaged header may claim billions, which are not to be
// allocated.
size_t coordinate_length(int nc, int dim, size_t limit, const std::string& where);

std::optional<std::string> text_attribute(int nc, int var, const char* name);
std::optional<double> number_attribute(int nc, int var, const char* name);

// What netCDF-C writes where no value was written, when a variable states
// no _FillValue of its own (CF counts those points missing).
double default_fill(nc_type type);

bool is_number_type(nc_type type);
bool one_of(const std::string& s, std::initializer_list<const char*> options);

// One variable of the file as netCDF-C describes it.
struct Variable {
  int id = 0;
  std::string name;
  nc_type type = NC_NAT;
  std::vector<int> dims;
  std::string standard_name;
  std::string units;
};
Variable describe_variable(int nc, int id, const std::string& path);
// "(time, level, latitude, longitude)"
std::string dimension_list(int nc, const Variable& v);

// "NetCDF-4", "NetCDF 64-bit offset", ...
std::string format_name(int format);

// The model name the file's attributes tell (ERA5), or "".
std::string model_name_of(int nc, const std::vector<Variable>& variables);

// netCDF-C reads the missing end of a classic file as zeros, without a
// word: ends the run when the data of the variables cannot fit the file.
void check_classic_size(int nc, const std::string& path);

}  // namespace i2m
