// NetCDF files (classic, 64-bit offset and NetCDF-4), read through
// netCDF-C: both layouts in which the Climate Data Store has delivered ERA5,
// and CF files that name their variables by standard_name.
#pragma once

#include <memory>
#include <string>

#include "import/source.h"

namespace i2m {

// Reads the inventory of the NetCDF file at `path`. Ends the run with exit
// status 2 for a file netCDF-C cannot read, without latitude or longitude,
// with unequally spaced coordinates, a time unit that cannot be read, a
// recognised variable whose dimensions are not understood, or two expver
// slices that both hold data at one time.
// `path` names the file in diagnostics; `open_path` is where it is read
// (the same but for an archive's member).
OpenedSource open_netcdf_source(const std::string& path, const std::string& open_path, int index);

}  // namespace i2m
