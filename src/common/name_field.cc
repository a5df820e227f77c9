#include "common/name_field.h"

#include "common/constants.h"

namespace i2m {

std::string make_name_field(std::string_view text) {
  std::string field(text.substr(0, kNameFieldLength));
  field.resize(kNameFieldLength, ' ');
  return field;
}

std::string_view name_before_first_blank(std::string_view field) {
  const size_t blank = field.find(' ');
  if (blank == std::string_view::npos) return {};
  return field.substr(0, blank);
}

}  // namespace i2m
