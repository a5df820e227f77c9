// Names are held in fixed fields of 255 characters padded with blanks; the
// usable name is the field's content up to, not including, its first blank.
// A field without any blank yields an empty name: this is what limits the
// length of usable input paths, and callers rely on it.
#pragma once

#include <string>
#include <string_view>

namespace i2m {

// A 255-character field holding `text`: padded with blanks when `text` has
// 254 characters or fewer, otherwise its first 255 characters.
std::string make_name_field(std::string_view text);

// The field up to its first blank; empty when the field holds no blank.
std::string_view name_before_first_blank(std::string_view field);

}  // namespace i2m
