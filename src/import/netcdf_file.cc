#include "import/netcdf_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <string_view>

#include "common/failure.h"
#include "import/library_guard.h"

namespace i2m {

std::mutex netcdf_lock;

void check(int status, const std::string& where) {
  // The file is not to blame, also where HDF5 reports a failed allocation
  // as an error of its own near the address-space limit.
  if (status == NC_ENOMEM || (status != NC_NOERR && memory_is_short())) fail_storage(where);
  if (status != NC_NOERR) fail_file(where, std::string("netCDF-C cannot read it: ") + nc_strerror(status));
}

// The length of a coordinate's dimension, refused beyond what any grid,
// list of times or of levels the importer writes can hold (a damaged
// header may claim billions, which are not to be allocated).
size_t coordinate_length(int nc, int dim, size_t limit, const std::string& where) {
  size_t length = 0;
  check(nc_inq_dimlen(nc, dim, &length), where);
  if (length > limit) fail_file(where, "has " + std::to_string(length) + " values, more than " + std::to_string(limit));
  return length;
}

std::optional<std::string> text_attribute(int nc, int var, const char* name) {
  nc_type type = NC_NAT;
  size_t length = 0;
  if (nc_inq_att(nc, var, name, &type, &length) != NC_NOERR) return std::nullopt;
  if (type == NC_CHAR) {
    std::string text(length, '\0');
    if (nc_get_att_text(nc, var, name, text.data()) != NC_NOERR) return std::nullopt;
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
  }
  if (type == NC_STRING && length == 1) {
    char* value = nullptr;
    if (nc_get_att_string(nc, var, name, &value) != NC_NOERR) return std::nullopt;
    std::string text = value != nullptr ? value : "";
    nc_free_string(1, &value);
    return text;
  }
  return std::nullopt;
}

std::optional<double> number_attribute(int nc, int var, const char* name) {
  nc_type type = NC_NAT;
  size_t length = 0;
  if (nc_inq_att(nc, var, name, &type, &length) != NC_NOERR || length == 0 || type == NC_CHAR ||
      type == NC_STRING) {
    return std::nullopt;
  }
  std::vector<double> values(length);
  if (nc_get_att_double(nc, var, name, values.data()) != NC_NOERR) return std::nullopt;
  return values.front();
}

// What netCDF-C writes where no value was written, when a variable states
// no _FillValue of its own (CF counts those points missing).
double default_fill(nc_type type) {
  switch (type) {
    case NC_BYTE: return NC_FILL_BYTE;
    case NC_UBYTE: return NC_FILL_UBYTE;
    case NC_SHORT: return NC_FILL_SHORT;
    case NC_USHORT: return NC_FILL_USHORT;
    case NC_INT: return NC_FILL_INT;
    case NC_UINT: return NC_FILL_UINT;
    case NC_FLOAT: return static_cast<double>(NC_FILL_FLOAT);
    default: return NC_FILL_DOUBLE;
  }
}

bool is_number_type(nc_type type) { return type >= NC_BYTE && type <= NC_UINT64 && type != NC_CHAR; }

bool one_of(const std::string& s, std::initializer_list<const char*> options) {
  return std::any_of(options.begin(), options.end(), [&](const char* o) { return s == o; });
}

Variable describe_variable(int nc, int id, const std::string& path) {
  char name[NC_MAX_NAME + 1] = {};
  int ndims = 0;
  Variable v;
  v.id = id;
  check(nc_inq_var(nc, id, name, &v.type, &ndims, nullptr, nullptr), path);
  v.name = name;
  v.dims.resize(static_cast<size_t>(ndims));
  check(nc_inq_vardimid(nc, id, v.dims.data()), path + ": variable " + v.name);
  v.standard_name = text_attribute(nc, id, "standard_name").value_or("");
  v.units = text_attribute(nc, id, "units").value_or("");
  return v;
}

std::string dimension_list(int nc, const Variable& v) {
  std::string list;
  for (int d : v.dims) {
    char name[NC_MAX_NAME + 1] = {};
    nc_inq_dimname(nc, d, name);
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return "(" + list + ")";
}

std::string format_name(int format) {
  switch (format) {
    case NC_FORMAT_CLASSIC: return "NetCDF classic";
    case NC_FORMAT_64BIT_OFFSET: return "NetCDF 64-bit offset";
    case NC_FORMAT_NETCDF4: return "NetCDF-4";
    case NC_FORMAT_NETCDF4_CLASSIC: return "NetCDF-4 classic model";
    case NC_FORMAT_64BIT_DATA: return "NetCDF 64-bit data";
    default: return "NetCDF";
  }
}

// ERA5 where ECMWF's GRIB attributes or the global attributes say so, or
// where the Climate Data Store made the file: its older layout comes from
// grib_to_netcdf run by the Store's MARS adaptor, and says so only in its
// history ("... by grib_to_netcdf-2.25.1: ... adaptor.mars.internal-...").
// grib_to_netcdf alone tells nothing: it converts any GRIB. "" when the
// file does not tell.
std::string model_name_of(int nc, const std::vector<Variable>& variables) {
  // The Store's newer layout states the centre only among the global
  // attributes, the older one on each variable.
  if (text_attribute(nc, NC_GLOBAL, "GRIB_centre").value_or("") == "ecmf") return "ERA5";
  for (const Variable& v : variables) {
    if (text_attribute(nc, v.id, "GRIB_centre").value_or("") == "ecmf") return "ERA5";
  }
  int attributes = 0;
  nc_inq_natts(nc, &attributes);
  for (int a = 0; a < attributes; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    if (nc_inq_attname(nc, NC_GLOBAL, a, name) != NC_NOERR) continue;
    const std::string text = text_attribute(nc, NC_GLOBAL, name).value_or("");
    if (text.find("ERA5") != std::string::npos) return "ERA5";
    if (std::string_view(name) == "history" && text.find("grib_to_netcdf") != std::string::npos &&
        text.find("adaptor.mars") != std::string::npos) {
      return "ERA5";
    }
  }
  return "";
}

namespace {

size_t type_size(nc_type type) {
  switch (type) {
    case NC_BYTE: case NC_UBYTE: case NC_CHAR: return 1;
    case NC_SHORT: case NC_USHORT: return 2;
    case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
    default: return 8;
  }
}

}  // namespace

// netCDF-C reads the missing end of a classic file as zeros, without a
// word. The data of every variable must fit in the file: a lower bound
// (the header is not counted), which catches a file cut inside its data.
void check_classic_size(int nc, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) fail_file_errno(path, "cannot read");
  int count = 0, unlimited = -1;
  nc_inq_nvars(nc, &count);
  nc_inq_unlimdim(nc, &unlimited);
  int64_t needed = 8;  // the magic number and the record count
  for (int id = 0; id < count; ++id) {
    int ndims = 0;
    nc_type type = NC_NAT;
    nc_inq_var(nc, id, nullptr, &type, &ndims, nullptr, nullptr);
    std::vector<int> dims(static_cast<size_t>(ndims));
    nc_inq_vardimid(nc, id, dims.data());
    int64_t bytes = static_cast<int64_t>(type_size(type));
    for (int d : dims) {
      size_t length = 0;
      nc_inq_dimlen(nc, d, &length);
      bytes *= static_cast<int64_t>(length);
    }
    needed += bytes;
  }
  if (st.st_size < needed) {
    fail_file(path, "the file is cut short: its variables need at least " + std::to_string(needed) +
                        " bytes, the file holds " + std::to_string(st.st_size));
  }
}

}  // namespace i2m
