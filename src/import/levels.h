// Which pressure levels an import writes, and why each other level of the
// sources is left out.
#pragma once

#include <string>
#include <vector>

#include "import/inventory.h"

namespace i2m {

struct DroppedLevel {
  double pa;
  std::string reason;  // "no relative humidity at 2011011512"
};

struct LevelChoice {
  std::vector<double> kept;  // Pa, highest pressure first
  std::vector<DroppedLevel> dropped;
};

// Ends the run with exit status 2 when the sources hold no upper-air field
// at some data time, or when one of height, temperature, the winds and
// relative humidity (or specific humidity to derive it from) is absent at
// every level of a data time.
void check_upper_air(const Inventory& inv);

// Without `requested` (Pa): every level at which height, temperature, both
// winds and one of the two humidities are present at every data time (the
// other is derived); ends the run when there is none. With it:
// exactly those levels, whatever the sources hold there.
LevelChoice choose_levels(const Inventory& inv, const std::vector<double>& requested);

// Every pressure level (Pa) of the sources' upper-air fields, highest first.
std::vector<double> source_levels(const Inventory& inv);

// "850", "1.5": a level in hPa as the control file writes it.
std::string format_hpa(double pa);

// The sources' paths for a diagnostic about them all.
std::string source_names(const Inventory& inv);

}  // namespace i2m
