#include "import/field.h"

#include <cmath>

#include "common/number_text.h"

namespace i2m {

int64_t thousandths(double value) { return std::llround(value * 1000.0); }

LevelKey level_key(const Level& level) { return {level.kind, thousandths(level.value)}; }

std::string describe_level(const Level& level) {
  switch (level.kind) {
    case LevelKind::surface: return "surface";
    case LevelKind::isobaric: return format_number(level.value / 100.0) + " hPa";
    case LevelKind::hybrid: return "model level " + format_number(level.value);
    case LevelKind::soil_layer: return "soil " + format_number(level.value) + "-" + format_number(level.bottom) + " m";
  }
  return "?";
}

}  // namespace i2m
