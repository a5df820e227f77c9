// The grid an import writes, as the converter's control file describes it,
// and the box of --area.
#pragma once

#include <optional>
#include <string>

#include "control/run_control.h"
#include "regrid/horizontal_map.h"

namespace i2m {

// Reads "N/W/S/E"; nullopt when the text is not four numbers with
// -90 <= S <= N <= 90 and finite W and E.
std::optional<Area> parse_area(const std::string& text);

// Fills im, jm and the seven grid numbers (thousandths of a degree) of the
// grid written: la1/lo1 the south-west point, lo1 in [-180000, 180000),
// lo2 = lo1 + (im - 1) di.
void set_grid_numbers(const LatLonGrid& written, RunControl& rc);

}  // namespace i2m
