#include "common/version.h"

namespace i2m {

const char* project_version() { return I2M_VERSION; }

}  // namespace i2m
