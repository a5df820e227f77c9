// Model (hybrid) levels in NetCDF: which dimension holds them, and the
// coefficients of their half levels: from the file (hyai and hybi as CDO
// writes them, or the CF formula terms of the coordinate's bounds), else,
// for levels numbered within 1 to 137, ECMWF's L137 levels. Only the NetCDF
// source files include this.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "import/field.h"
#include "import/netcdf_file.h"

namespace i2m {

// Whether the one-dimensional coordinate `v` is one of model levels: named
// model_level or hybrid, a standard_name that says so, a long_name of model
// or hybrid levels, or (named lev or level, with units that are no
// pressure) in a file that holds hyai and hybi. A coordinate named lev
// alone is not one: pressure-level files use that name too.
bool is_model_level_coordinate(int nc, const Variable& v);

// The coefficients of the levels numbered `numbers` (the coordinate's
// values), as GRIB's pv array holds them; `from_table` tells whether they
// are ECMWF's L137 levels taken for want of any in the file. Ends the run
// with exit status 2 naming the coordinate when its values are not level
// numbers, or when the file gives no coefficients and the levels are not
// within 1 to 137.
std::shared_ptr<const HybridCoefficients> model_level_coefficients(int nc, const Variable& coordinate,
                                                                   const std::vector<double>& numbers,
                                                                   const std::string& path, bool& from_table);

}  // namespace i2m
